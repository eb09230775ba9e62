#include "ZEL.Http.Curl.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace ZEL::Http::Curl {

namespace {

// Raised by AbandonInFlight; an exchange that sees it change since its start ends.
std::atomic<std::uint64_t> GAbandonRound{0};

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TSink {
  std::string* Body;
  std::int64_t Max;
  bool TooLarge = false;
};

size_t OnBody(char* AData, size_t ASize, size_t ACount, void* AUser) {
  auto* sink = static_cast<TSink*>(AUser);
  const size_t n = ASize * ACount;
  if (static_cast<std::int64_t>(sink->Body->size() + n) > sink->Max) {
    sink->TooLarge = true;
    return 0;  // makes curl end the transfer with CURLE_WRITE_ERROR
  }
  sink->Body->append(AData, n);
  return n;
}

size_t OnHeader(char* AData, size_t ASize, size_t ACount, void* AUser) {
  auto* headers = static_cast<std::map<std::string, std::string>*>(AUser);
  const size_t n = ASize * ACount;
  std::string line(AData, n);
  if (line.rfind("HTTP/", 0) == 0) headers->clear();  // a new answer (after a 100 or a redirect)
  const auto colon = line.find(':');
  if (colon == std::string::npos) return n;
  std::string name = line.substr(0, colon);
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  std::string value = line.substr(colon + 1);
  const auto first = value.find_first_not_of(" \t");
  const auto last = value.find_last_not_of(" \t\r\n");
  value = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
  (*headers)[name] = value;
  return n;
}

// Called by curl about once a second even while nothing moves: a non-zero result ends the
// exchange with CURLE_ABORTED_BY_CALLBACK.
int OnProgress(void* AStartRound, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return GAbandonRound.load() != *static_cast<const std::uint64_t*>(AStartRound) ? 1 : 0;
}

constexpr const char* cAbandonedText = "The request was abandoned: the application ends.";

}  // namespace

void AbandonInFlight() { ++GAbandonRound; }

std::string TResponse::Header(const std::string& ALowerName) const {
  const auto it = Headers.find(ALowerName);
  return it == Headers.end() ? std::string() : it->second;
}

TResponse Perform(const TRequest& ARequest, const TLimits& ALimits) {
  GlobalInit();
  std::uint64_t startRound = GAbandonRound.load();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) throw ENetHTTPClientException("Unable to create an HTTP client.");
  CURL* h = curl.get();

  TResponse response;
  TSink sink{&response.Body, ALimits.MaxBodyBytes};
  char error[CURL_ERROR_SIZE] = {};

  curl_slist* headers = nullptr;
  for (const auto& [name, value] : ARequest.Headers) headers = curl_slist_append(headers, (name + ": " + value).c_str());
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerList(headers, &curl_slist_free_all);

  curl_easy_setopt(h, CURLOPT_URL, ARequest.URL.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerList.get());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &response.Headers);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &startRound);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ALimits.ConnectTimeout.count()));
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(ALimits.ResponseTimeout.count()));
  // TLS 1.2 at least, the server's certificate and name always checked.
  curl_easy_setopt(h, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_DEFAULT));
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (const char* ca = std::getenv("ZEL_CA_FILE"); ca && *ca) curl_easy_setopt(h, CURLOPT_CAINFO, ca);

  if (ARequest.Method == "HEAD") {
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
  } else if (ARequest.Method == "POST") {
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, ARequest.Body.c_str());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(ARequest.Body.size()));
  } else if (ARequest.Method != "GET") {
    throw ENetHTTPClientException("Unsupported HTTP method " + ARequest.Method);
  }

  const CURLcode rc = curl_easy_perform(h);
  if (sink.TooLarge)
    throw ENetHTTPClientException("The answer of " + ARequest.URL + " is larger than " +
                                  std::to_string(ALimits.MaxBodyBytes) + " bytes.");
  if (rc == CURLE_ABORTED_BY_CALLBACK) throw ENetHTTPClientException(cAbandonedText);
  if (rc != CURLE_OK) {
    const std::string text = error[0] ? std::string(error) : std::string(curl_easy_strerror(rc));
    throw ENetHTTPClientException("Error sending request: (" + std::to_string(static_cast<int>(rc)) + ") " + text);
  }
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.Status);
  return response;
}

}  // namespace ZEL::Http::Curl
