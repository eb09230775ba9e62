#include "ZEL.App.Result.h"

#include <atomic>

namespace ZEL::App::Result {

namespace {

std::atomic<int> GResult{UserEnded};

}  // namespace

void Failed(int ACode) {
  int LExpected = UserEnded;
  GResult.compare_exchange_strong(LExpected, ACode);
}

int Take() { return GResult.exchange(UserEnded); }

}  // namespace ZEL::App::Result
