// The update-check command of the front end (see cli.h).
#include <ostream>

#include "app/cli.h"
#include "app/data_folder.h"
#include "app/debug_log.h"
#include "app/settings.h"
#include "app/update_check.h"
#include "platform/recording_shell_open.h"

namespace hs {
namespace {

// The command asks nothing: the check is only described.
class NoPrompts final : public Prompts {
 public:
  PromptAnswer Ask(TextView, PromptButtons, PromptIcon) override { return PromptAnswer::kNo; }
};

const char* FetchName(FetchStatus s) {
  switch (s) {
    case FetchStatus::kOk: return "ok";
    case FetchStatus::kNoConnection: return "the service could not be reached";
    case FetchStatus::kHttpError: return "HTTP status";
    case FetchStatus::kTruncated: return "the answer was cut short";
    case FetchStatus::kTooLarge: return "the answer is too large";
    case FetchStatus::kFailed: return "the fetch failed";
  }
  return "the fetch failed";
}

void Field(std::ostream& out, const char* name, const Text& value) {
  out << "  " << name << " = " << (value.empty() ? "(none)" : PrintableText(value)) << "\n";
}

}  // namespace

int RunUpdateCheck(ScanPorts& ports, TextView endpoint, std::ostream& out, std::ostream& err) {
  if (!ports.http || !ports.data_ini) {
    err << "hivesweep: this build has no web client\n";
    return kExitFailed;
  }
  DebugLog log(ports.fs, ports.clock, ports.folders);
  Text data_folder;
  if (!OpenDataFolder(ports, err, &data_folder)) return kExitFailed;
  NoPrompts prompts;
  RecordingShellOpen shell;
  UpdateCheckEnv env{*ports.http, ports.fs, *ports.data_ini, prompts, shell, ports.clock, log,
                     [](TextView key) { return Text(key); }, data_folder, ports.own_version,
                     Text(kDefaultUpdateEndpoint), nullptr};
  Text setting;
  SettingsStore store(ports.registry, log);
  if (!endpoint.empty()) env.endpoint = Text(endpoint);
  else if (store.ReadText(kUpdateEndpointValue, &setting) && !setting.empty()) env.endpoint = setting;
  UpdateChecker checker(std::move(env));

  const UpdateCheckEnv& e = checker.env();
  out << "Own version: " << (e.own_version.empty() ? "(unknown)" : PrintableText(e.own_version)) << "\n";
  out << "Request: " << PrintableText(UpdateRequestAddress(e.endpoint, e.own_version)) << "\n";
  UpdateOffer offer;
  FetchResult fetched;
  const OfferStatus status = checker.FetchOffer(&offer, &fetched);
  if (status != OfferStatus::kReceived) {
    out << "Answer: none (";
    if (status == OfferStatus::kNotSaved) out << "the answer file could not be written";
    else out << FetchName(fetched.outcome);
    if (fetched.status != 0 && fetched.outcome != FetchStatus::kOk) out << " " << fetched.status;
    out << ")\nWould do: nothing (" << (status == OfferStatus::kNoConnection ? "no connection" : "nothing newer")
        << ")\n";
    return kExitFailed;
  }
  out << "Answer (" << PrintableText(Text(kUpdateFileName)) << "):\n";
  Field(out, "PROGRAM_VERSION", offer.version);
  Field(out, "PROGRAM_URL", offer.url);
  Field(out, "OPEN_BROWSER", offer.browser ? Text(u"1") : Text(u"(not 1)"));
  Field(out, "PROGRAM_SHA256", offer.digest);
  out << "Would do: ";
  if (e.own_version.empty()) out << "nothing (the own version is unknown)\n";
  else if (!offer.newer) out << "nothing (no newer version)\n";
  else if (offer.browser) out << "offer to open " << PrintableText(offer.url) << " in the browser\n";
  else if (offer.digest.empty())
    out << "ask to install, download " << PrintableText(offer.url)
        << ", then refuse to start it (the answer names no SHA-256 digest) and offer the page instead\n";
  else
    out << "ask to install, download " << PrintableText(offer.url) << ", start it with "
        << PrintableText(Text(kInstallerArgument)) << " as "
        << PrintableText(InstallerFileName(ports.clock.LocalTime())) << " in the data folder only if its SHA-256 is "
        << PrintableText(offer.digest) << "\n";
  return kExitOk;
}

}  // namespace hs
