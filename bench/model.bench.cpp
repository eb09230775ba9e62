// The alert model under load, side by side with a bare nlohmann::ordered_json parse of the
// same bytes: the bulk load of a backend array of 10,000 and 100,000 alerts, the intake of
// 10,000 broker payloads (types 1, 2 and 5) into a list of 10,000 alerts, and the resident
// memory an alert takes. Logging stays on, into a folder of the run's own.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <malloc.h>
#include <unistd.h>
#include <vector>

#include <fmt/format.h>

#include "BenchSupport.h"
#include "ZEL.Events.List.h"
#include "ZEL.LogsPipe.h"

using namespace ZEL;

namespace {

using TJSON = nlohmann::ordered_json;
using ZEL::Bench::TClock;

constexpr int cRepeats = 3;

using ZEL::Bench::Best;
using ZEL::Bench::Seconds;

long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

std::string ObjectId(int AKind, long ANumber) { return fmt::format("64b{}{:020x}", AKind, ANumber); }

std::string Stamp(long ASecond) {
  return fmt::format("2024-03-{:02}T{:02}:{:02}:{:02}.000Z", 1 + ASecond / 86400 % 28, ASecond / 3600 % 24,
                     ASecond / 60 % 60, ASecond % 60);
}

TJSON Originator(long AN) {
  return {{"ID", fmt::format("cond-{}", AN % 50)},
          {"GUID", fmt::format("{{11111111-2222-3333-4444-{:012X}}}", AN % 50)},
          {"Name", fmt::format("Camera zone {}", AN % 50)},
          {"Description", "Perimeter camera condition"},
          {"Type", 20}};
}

TJSON Attachment(long AN, int AIndex) {
  return {{"ObjectId", ObjectId(2, AN * 4 + AIndex)},
          {"State", AIndex % 4},
          {"DateTime", Stamp(AN * 60 + AIndex + 2)},
          {"DataType", 1 + AIndex % 3},
          {"Text", AIndex % 3 == 0 ? "Snapshot" : "Clip"},
          {"Caption", fmt::format("Zone {} #{}", AN % 50, AIndex)},
          {"DataSource", {{"ID", fmt::format("cam-{}", AN % 50)}, {"Name", "Perimeter camera"}, {"Type", 40}}}};
}

// One element of the backend's alert array as the backend sends it: the alert's keys, its
// items' counts and the fields of its latest attachments.
TJSON AlertElement(long AN) {
  const bool viewed = AN % 3 == 0;
  TJSON alert = {{"ObjectId", ObjectId(0, AN)},
                 {"State", AN % 5 == 0 ? "easEscalated" : (AN % 7 == 0 ? "easDismissed" : "easInitiated")},
                 {"Active", AN % 2 == 0},
                 {"Viewed", viewed},
                 {"DateTime", Stamp(AN * 60)},
                 {"Caption", fmt::format("Motion in zone {}", AN % 50)},
                 {"Text", "Person detected by the perimeter camera"},
                 {"Originator", Originator(AN)},
                 {"ItemsCount", 1 + AN % 6},
                 {"ImagesCount", AN % 3},
                 {"VideosCount", AN % 2}};
  if (viewed) {
    alert["LastViewedAt"] = Stamp(AN * 60 + 30);
    alert["LastViewedBy"] = "Operator One";
  }
  TJSON extra = TJSON::array();
  for (int i = 0; i < 2; ++i) extra.push_back(Attachment(AN, i));
  alert["ExtraData"] = std::move(extra);
  return alert;
}

std::string AlertArrayText(long ACount, long AFirst = 0) {
  TJSON array = TJSON::array();
  for (long i = 0; i < ACount; ++i) array.push_back(AlertElement(AFirst + i));
  return array.dump();
}

// The caller's cost of the log lines one run of ARun makes: the lines are captured once,
// then the same lines are written again through the process writer, timed alone.
struct TLogFigures {
  std::size_t Lines = 0;
  std::size_t Bytes = 0;
  double Seconds = 0;
};

TLogFigures LogCostOf(const std::function<void()>& ASetup, const std::function<void()>& ARun) {
  ASetup();
  LogsPipe::Flush();
  std::vector<LogsPipe::TCapturedEntry> entries;
  {
    LogsPipe::TLogCapture capture;
    ARun();
    LogsPipe::Flush();
    entries = capture.Entries();
  }
  TLogFigures figures;
  figures.Lines = entries.size();
  for (const auto& entry : entries) figures.Bytes += entry.Message.size();
  figures.Seconds = Best([] { LogsPipe::Flush(); }, [&] {
    ILogWriter& log = LogsPipe::ZELLog();
    for (const auto& entry : entries) log.Log(entry.Type, entry.Tag, entry.Message);
  });
  LogsPipe::Flush();
  return figures;
}

void PrintLogShare(const TLogFigures& ALog, double AModel, long AUnits, const char* AUnit) {
  std::printf("    of which its log lines alone: %.1f ms (%.0f%%), %.1f lines and %.0f bytes of text per %s\n",
              ALog.Seconds * 1e3, 100 * ALog.Seconds / AModel, static_cast<double>(ALog.Lines) / AUnits,
              static_cast<double>(ALog.Bytes) / AUnits, AUnit);
}

struct TLoadFigures {
  double Parse, Model;
  TLogFigures Log;
};

TLoadFigures BulkLoad(long ACount) {
  const std::string text = AlertArrayText(ACount);
  std::unique_ptr<TZELEventList> list;
  const double parse = Best([] {}, [&] {
    const TJSON parsed = TJSON::parse(text);
    if (parsed.size() != static_cast<std::size_t>(ACount)) std::abort();
  });
  const double model = Best([&] { list = std::make_unique<TZELEventList>(); }, [&] {
    list->ReadFromJSONArray(TJSON::parse(text), false);
  });
  if (list->Count() != ACount) std::abort();
  list.reset();
  LogsPipe::Flush();
  const TLogFigures log = LogCostOf([&] { list = std::make_unique<TZELEventList>(); },
                                    [&] { list->ReadFromJSONArray(TJSON::parse(text), false); });
  list.reset();
  LogsPipe::Flush();
  return {parse, model, log};
}

// Payloads of the three broker types: a third new alerts (type 1), a third history
// entries with two attachments for alerts held already (type 2), a third upload states
// for the attachments of those entries (type 5), interleaved as the broker delivers them.
std::vector<std::string> BrokerPayloads(long AHeld, long ACount) {
  std::vector<std::string> payloads;
  const long perType = ACount / 3;
  for (long i = 0; i < perType; ++i) {
    TJSON alert = AlertElement(AHeld + i);
    alert["Type"] = 1;
    alert.erase("ExtraData");
    payloads.push_back(alert.dump());

    const long parent = (i * 7919) % AHeld;  // spread over the list
    const long itemNo = 1'000'000 + i;
    TJSON item = {{"Type", 2},
                  {"ObjectId", ObjectId(1, itemNo)},
                  {"ParentObjectId", ObjectId(0, parent)},
                  {"ItemType", 0},
                  {"DateTime", Stamp(parent * 60 + 5)},
                  {"Caption", "Motion"},
                  {"Text", "Person detected\n\rby the perimeter camera"},
                  {"Originator", Originator(parent)},
                  {"ExtraData", {Attachment(itemNo, 0), Attachment(itemNo, 1)}}};
    payloads.push_back(item.dump());

    TJSON upload = {{"Type", 5},
                    {"ObjectId", ObjectId(2, itemNo * 4)},
                    {"ParentObjectId", ObjectId(1, itemNo)},
                    {"State", 2},
                    {"DateTime", Stamp(parent * 60 + 9)},
                    {"Originator", {{"ID", "cam-1"}, {"Name", "Perimeter camera"}, {"Type", 40}}}};
    payloads.push_back(upload.dump());
  }
  return payloads;
}

void Intake(TZELEventList& AList, const std::vector<std::string>& APayloads) {
  // BrokerPayloads gives them in the order type 1, 2, 5, 1, 2, 5, ...
  for (std::size_t i = 0; i < APayloads.size(); ++i) {
    const std::string& payload = APayloads[i];
    switch (i % 3) {
      case 0: AList.ReadOneEventFromJSON(payload); break;
      case 1:
        if (!AList.ReadEventItemMQTT(payload)) std::abort();
        break;
      default: {
        TZELEventItem* item = nullptr;
        TEventExtraDataItem* extra = nullptr;
        if (!AList.ReadEventItemExtraMQTT(payload, item, extra) || !extra) std::abort();
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  // An argument picks one part ("memory", "load", "intake"), for profiling.
  const std::string only = argc > 1 ? argv[1] : "";
  const auto want = [&](const char* APart) { return only.empty() || only == APart; };
  std::string folder = (std::filesystem::temp_directory_path() / "zel_bench_model.XXXXXX").string();
  if (!mkdtemp(folder.data())) return 2;
  setenv("ZEL_LOGS_DIR", folder.c_str(), 1);
  LogsPipe::ZELLog().Info("zel_bench_model", "start");

  std::printf("alert model (best of %d runs; logging on)\n", cRepeats);
  if (want("memory")) {
    // Per alert (measured first, on a heap that has not grown yet): what the loaded list holds beyond the text, against the parsed array alone.
    constexpr long cCount = 100'000;
    const std::string text = AlertArrayText(cCount);
    malloc_trim(0);
    const long start = ResidentBytes();
    TJSON array = TJSON::parse(text);
    const long parsed = ResidentBytes();
    auto list = std::make_unique<TZELEventList>();
    list->ReadFromJSONArray(std::move(array), false);
    array = TJSON();
    LogsPipe::Flush();
    malloc_trim(0);
    const long loaded = ResidentBytes();
    std::printf("resident memory per alert (%ld alerts): %.0f bytes in the list; the parsed element alone %.0f bytes\n",
                cCount, static_cast<double>(loaded - start) / cCount, static_cast<double>(parsed - start) / cCount);
    list.reset();
  }

  for (const long count : {10'000L, 100'000L}) {
    if (!want("load")) break;
    const auto f = BulkLoad(count);
    std::printf("bulk load %6ld alerts: model %8.1f ms, bare parse %8.1f ms, ratio %.2f (target <= 2.0)\n", count,
                f.Model * 1e3, f.Parse * 1e3, f.Model / f.Parse);
    PrintLogShare(f.Log, f.Model, count, "alert");
  }

  if (want("intake")) {
    constexpr long cHeld = 10'000, cPayloads = 10'000;
    const std::string held = AlertArrayText(cHeld);
    const auto payloads = BrokerPayloads(cHeld, cPayloads);
    std::unique_ptr<TZELEventList> list;
    const double parse = Best([] {}, [&] {
      for (const std::string& payload : payloads)
        if (TJSON::parse(payload).empty()) std::abort();
    });
    const auto setup = [&] {
      list.reset();
      list = std::make_unique<TZELEventList>();
      list->ReadFromJSONArray(TJSON::parse(held), false);
      LogsPipe::Flush();
    };
    const double model = Best(setup, [&] { Intake(*list, payloads); });
    const TLogFigures log = LogCostOf(setup, [&] { Intake(*list, payloads); });
    list.reset();
    LogsPipe::Flush();
    const double n = static_cast<double>(payloads.size());
    std::printf("broker intake of %zu payloads (types 1, 2, 5) into %ld alerts: %.0f payloads/s, bare parse %.0f/s, "
                "ratio %.2f\n",
                payloads.size(), cHeld, n / model, n / parse, model / parse);
    PrintLogShare(log, model, static_cast<long>(payloads.size()), "payload");
  }

  LogsPipe::Shutdown();
  std::filesystem::remove_all(folder);
  return 0;
}
