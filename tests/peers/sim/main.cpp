// zel-backend-sim: plays the monitoring service (REST backend and edges on the broker) for
// the integration tests and the local demo stack. See --help.

#include "ControlApi.h"
#include "RestApi.h"
#include "Simulator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <unistd.h>

namespace {

const char* const kUsage = R"(usage: zel-backend-sim --cert FILE --key FILE [options]

REST (HTTPS on 127.0.0.1):
  --cert FILE                server certificate (from the test CA)
  --key FILE                 its private key
  --rest-port N              port, 0 picks a free one (default 0)
  --rest-port-file FILE      write the port there once listening
Control (plain HTTP on 127.0.0.1):
  --control-port N           port, 0 picks a free one (default 0)
  --control-port-file FILE   write the port there once listening
Broker (the edges; leave out --broker-port to run without a broker):
  --broker-host HOST         default 127.0.0.1
  --broker-port N
  --broker-ca FILE           CA that signed the broker's certificate
  --broker-cert FILE         the simulator's client certificate
  --broker-key FILE          its key
Data and behaviour:
  --seed FILE                seed data (default: seed.json beside the sources)
  --clip FILE                WebM served for ready videos (default: clip.webm beside the sources)
  --now ISO8601              reference time of the seed's relative dates (default: start time)
  --audience TEXT            audience the identity tokens must carry (default zeldevstand)
  --auto-alert-seconds N     raise an alert every N seconds, edges in turn (default 0: off)
  --attachment-step-ms N     pace of the automatic alerts' attachment progress (default 1500)
)";

volatile std::sig_atomic_t GStop = 0;
void OnSignal(int) { GStop = 1; }

bool WritePortFile(const std::string& APath, int APort) {
  if (APath.empty()) return true;
  // Written beside and renamed, so that a reader never sees half a number.
  const std::string tmp = APath + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(tmp);
    if (!(out << APort << "\n")) return false;
  }
  std::error_code ec;
  std::filesystem::rename(tmp, APath, ec);
  return !ec;
}

bool ToInt(const std::string& AText, int& AValue, int AMin, int AMax) {
  char* end = nullptr;
  const long v = std::strtol(AText.c_str(), &end, 10);
  if (AText.empty() || *end != '\0' || v < AMin || v > AMax) return false;
  AValue = static_cast<int>(v);
  return true;
}

int Fail(const std::string& AText) {
  std::fprintf(stderr, "zel-backend-sim: %s\n", AText.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> flags;
  static const char* const kKnown[] = {"--cert", "--key", "--rest-port", "--rest-port-file", "--control-port",
                                       "--control-port-file", "--broker-host", "--broker-port", "--broker-ca",
                                       "--broker-cert", "--broker-key", "--seed", "--now", "--audience",
                                       "--auto-alert-seconds", "--attachment-step-ms"};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    bool known = false;
    for (const char* k : kKnown) known = known || arg == k;
    if (!known) return Fail("unknown option \"" + arg + "\" (see --help)");
    if (i + 1 >= argc) return Fail("option " + arg + " needs a value");
    flags[arg] = argv[++i];
  }
  auto flag = [&](const char* AName, const std::string& ADefault = "") {
    const auto it = flags.find(AName);
    return it == flags.end() ? ADefault : it->second;
  };

  ZelSim::TSimOptions options;
  options.SeedPath = flag("--seed", ZEL_SIM_DEFAULT_SEED);
  options.ClipPath = flag("--clip", ZEL_SIM_DEFAULT_CLIP);
  options.Audience = flag("--audience", options.Audience);
  if (flags.count("--now")) {
    ZelSim::TInstant t;
    if (!ZelSim::ParseISO8601(flag("--now"), t)) return Fail("--now needs an ISO 8601 date and time");
    options.PinnedNow = t;
  }
  int restPort = 0, controlPort = 0;
  if (!ToInt(flag("--rest-port", "0"), restPort, 0, 65535)) return Fail("--rest-port needs a port number");
  if (!ToInt(flag("--control-port", "0"), controlPort, 0, 65535)) return Fail("--control-port needs a port number");
  if (!ToInt(flag("--auto-alert-seconds", "0"), options.AutoAlertSeconds, 0, 86400))
    return Fail("--auto-alert-seconds needs a number of seconds");
  if (!ToInt(flag("--attachment-step-ms", "1500"), options.AttachmentStepMs, 1, 600000))
    return Fail("--attachment-step-ms needs a number of milliseconds");
  if (flag("--cert").empty() || flag("--key").empty()) return Fail("--cert and --key are required (see --help)");
  if (flags.count("--broker-port")) {
    options.UseBroker = true;
    options.Broker.Host = flag("--broker-host", "127.0.0.1");
    if (!ToInt(flag("--broker-port"), options.Broker.Port, 1, 65535)) return Fail("--broker-port needs a port number");
    options.Broker.CAFile = flag("--broker-ca");
    options.Broker.CertFile = flag("--broker-cert");
    options.Broker.KeyFile = flag("--broker-key");
    if (options.Broker.CAFile.empty() || options.Broker.CertFile.empty() || options.Broker.KeyFile.empty())
      return Fail("--broker-port needs --broker-ca, --broker-cert and --broker-key");
  }

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);

  ZelSim::TSimulator sim(options);
  std::string error;
  if (!sim.Start(error)) return Fail(error);
  ZelSim::TRestApi rest(sim);
  ZelSim::TControlApi control(sim);
  if (!rest.Start(flag("--cert"), flag("--key"), restPort, error) || !control.Start(controlPort, error)) {
    sim.Stop();
    return Fail(error);
  }
  if (!WritePortFile(flag("--rest-port-file"), rest.Port()) ||
      !WritePortFile(flag("--control-port-file"), control.Port())) {
    sim.Stop();
    return Fail("cannot write a port file");
  }
  std::fprintf(stderr, "[sim] REST https://127.0.0.1:%d  control http://127.0.0.1:%d  broker %s\n", rest.Port(),
               control.Port(), options.UseBroker ? (options.Broker.Host + ":" + std::to_string(options.Broker.Port)).c_str()
                                                 : "(none)");

  while (!GStop) ::usleep(100 * 1000);
  std::fprintf(stderr, "[sim] stopping\n");
  sim.RequestStop();  // a held-back "timeout" answer ends at once
  control.Stop();
  rest.Stop();
  sim.Stop();
  return 0;
}
