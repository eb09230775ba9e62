#pragma once
// One blocking HTTP(S) exchange on libcurl, on the caller's thread. HTTPS is TLS 1.2 or 1.3
// with the server always verified: against the system's trust store, or against the CA file
// that $ZEL_CA_FILE names (tests and the demo stack). Transport failures raise.

#include "ZEL.Exceptions.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ZEL {

// The exchange did not complete: no connection, TLS refused, time-out, answer too large.
ZEL_DECLARE_EXCEPTION(ENetHTTPClientException, EZELException)

}  // namespace ZEL

namespace ZEL::Http::Curl {

struct TRequest {
  std::string Method = "GET";  // GET, HEAD or POST
  std::string URL;
  std::vector<std::pair<std::string, std::string>> Headers;
  std::string Body;  // sent with POST
};

struct TResponse {
  long Status = 0;
  std::string Body;
  // Header names lower-cased; the last occurrence wins.
  std::map<std::string, std::string> Headers;
  std::string Header(const std::string& ALowerName) const;
};

struct TLimits {
  std::chrono::milliseconds ConnectTimeout{10000};
  // The whole exchange, connection included.
  std::chrono::milliseconds ResponseTimeout{30000};
  // Bodies beyond this many bytes end the exchange with an error.
  std::int64_t MaxBodyBytes = 64LL * 1024 * 1024;
};

// Raises ENetHTTPClientException with curl's own text when the exchange fails.
TResponse Perform(const TRequest& ARequest, const TLimits& ALimits = {});

// Process-wide: every exchange under way now ends within about a second
// (ENetHTTPClientException); later ones run as usual. Called when the program ends, so that
// no thread keeps the process alive until a time-out waiting for an answer nobody reads.
void AbandonInFlight();

}  // namespace ZEL::Http::Curl
