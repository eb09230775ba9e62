#pragma once
// Secrets (tokens, passwords, keys) never reach a log line in clear: log Mask(secret).

#include <string>
#include <string_view>

namespace ZEL::Secrets {

// "<empty>" for an empty text; "eyJh…(1234 chars)" for a long token (at most its first
// four characters, and only when they are plain ASCII); "…(8 chars)" for anything short
// enough to be a password.
std::string Mask(std::string_view ASecret);

}  // namespace ZEL::Secrets
