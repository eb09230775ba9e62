// A small blocking HTTP(S) client on libcurl for the integration test.
#pragma once

#include <string>
#include <vector>

namespace ZelPeers {

struct THttpRequest {
  std::string Method = "GET";
  std::string Url;
  std::vector<std::string> Headers;  // "Name: value"
  std::string Body;                  // sent for POST and DELETE
  std::string CAFile;                // the only trust anchor for https
};

struct THttpResponse {
  int CurlCode = 0;  // CURLcode; 0 when a response arrived
  std::string Error;
  long Status = 0;
  std::string ContentType;
  long long ContentLength = -1;
  std::string Body;
};

THttpResponse Send(const THttpRequest& ARequest);

// Percent-encodes a query value.
std::string Escape(const std::string& AValue);

}  // namespace ZelPeers
