#include "PeersHttp.h"

#include <curl/curl.h>

#include <memory>

namespace ZelPeers {

namespace {

struct TCurlGlobal {
  TCurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
  ~TCurlGlobal() { curl_global_cleanup(); }
};

size_t Collect(char* AData, size_t ASize, size_t ACount, void* ABody) {
  static_cast<std::string*>(ABody)->append(AData, ASize * ACount);
  return ASize * ACount;
}

}  // namespace

THttpResponse Send(const THttpRequest& ARequest) {
  static TCurlGlobal global;
  THttpResponse out;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
  curl_slist* headers = nullptr;
  for (const auto& h : ARequest.Headers) headers = curl_slist_append(headers, h.c_str());
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerList(headers, &curl_slist_free_all);
  char error[CURL_ERROR_SIZE] = {};

  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, ARequest.Url.c_str());
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, 30L);
  curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headerList.get());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &out.Body);
  // Verified TLS against the given CA only: no system store, host name checked.
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(c, CURLOPT_CAPATH, nullptr);
  if (!ARequest.CAFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, ARequest.CAFile.c_str());
  if (ARequest.Method == "HEAD") {
    curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
  } else if (ARequest.Method != "GET") {
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, ARequest.Method.c_str());
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, ARequest.Body.c_str());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(ARequest.Body.size()));
  }

  const CURLcode rc = curl_easy_perform(c);
  out.CurlCode = static_cast<int>(rc);
  if (rc != CURLE_OK) {
    out.Error = *error ? error : curl_easy_strerror(rc);
    return out;
  }
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &out.Status);
  char* type = nullptr;
  if (curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) out.ContentType = type;
  curl_off_t length = -1;
  if (curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK) out.ContentLength = length;
  return out;
}

std::string Escape(const std::string& AValue) {
  char* text = curl_easy_escape(nullptr, AValue.c_str(), static_cast<int>(AValue.size()));
  std::string out = text ? text : "";
  curl_free(text);
  return out;
}

}  // namespace ZelPeers
