#pragma once
// The program's fixed configuration. Tests and the demo stack override hosts, ports,
// folders and timings through the ZEL_* environment variables listed in the README;
// see ZEL.Config for the lookup.

#include <cstdint>

namespace ZEL::HardConfig {

// Call-stack depth of exception reports.
inline constexpr int EXCEPTION_CALLSTACK_SIZE = 64;

// Log levels of the MQTT client's own logger, lowest first.
enum class TMQTTLogLevel { vNONE, vFATAL, vERROR, vWARNING, vINFO, vDEBUG };
inline constexpr TMQTTLogLevel DEFAULT_MQTT_CLIENT_LOGGING = TMQTTLogLevel::vWARNING;

// Minutes left on the ID token at which the token keeper refreshes it, and its interval.
inline constexpr int DEFAULT_FCMTOKEN_REFRESH_TIMEOUT = 20;
inline constexpr int DEFAULT_FCMTOKEN_CHECK_INTERVAL = 5;

// The broker's client key and certificate, looked up in the executable's folder.
inline constexpr const char* MQTT_SSL_KEYFILE = "mobile_app.key";
inline constexpr const char* MQTT_SSL_CERTFILE = "mobile_app.crt";

// Rolling log files: how many are kept and the size (KiB) beyond which one is rotated.
inline constexpr int LOGGING_KEEP_LAST_LOG_FILES = 30;
inline constexpr std::int64_t LOGGING_MAX_FILE_SIZE = 4000;

}  // namespace ZEL::HardConfig
