// CCheckUpdateThread's check, without the thread: asks the update service
// whether a newer version exists and then offers its web page or downloads
// the installer and starts it. The window runs it on a worker thread; the
// unattended `updatecheck` mode runs it at once.
//
// The installer is run only when its SHA-256 digest equals the one the
// answer names (PROGRAM_SHA256); otherwise the user is offered the download
// page in the browser instead. Fetches that fail (an HTTP error status, a
// body cut short or too large) never become an update file or an installer.
//
// One check at a time per checker (a second one answers kBusy); any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "engine/problem.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/http_client.h"
#include "platform/ini_reader.h"
#include "platform/log.h"
#include "platform/prompts.h"
#include "platform/shell_open.h"

namespace hs {

inline constexpr TextView kUpdateFileName = u"QZVupdate.ini";
inline constexpr TextView kInstallerTempName = u"QZVupdate.tmp";
inline constexpr TextView kUpdateSection = u"Application";
// The update service; the settings value kUpdateEndpointValue overrides it.
inline constexpr TextView kDefaultUpdateEndpoint = u"https://update.hivesweep.example/Corvanta/HiveSweep/update.asp";
inline constexpr TextView kUpdateEndpointValue = u"UpdateEndpoint";
inline constexpr TextView kInstallerArgument = u"/verysilent";
// Largest answer file and installer that are accepted.
inline constexpr std::uint64_t kMaxUpdateFileBytes = 64 * 1024;
inline constexpr std::uint64_t kMaxInstallerBytes = 512ull * 1024 * 1024;

// Four 16-bit parts; missing parts are 0.
using VersionParts = std::array<std::uint16_t, 4>;
// Blanks removed, commas read as dots, split at dots; each part is its
// leading decimal digits (none: 0), kept to 16 bits.
VersionParts ParseVersion(TextView text);
// (major, minor) greater, or equal and (build, revision) greater.
bool IsNewerVersion(const VersionParts& offered, const VersionParts& own);

// "<endpoint>?v=<own version>".
Text UpdateRequestAddress(TextView endpoint, TextView own_version);
// "productSetup_Setup_<month>_<day>_<year>.exe".
Text InstallerFileName(const DateTime& local);

struct UpdateFlags {
  bool automatic = false;          // no "no connection" / "nothing newer" messages
  bool unattended = false;         // mode `updatecheck`
  bool install_confirmed = false;  // the user accepted the update in the pop-up
};

enum class UpdateOutcome {
  kBusy,              // another check runs
  kNothingNewer,      // also: no connection, no answer, incomplete answer
  kNewer,             // unattended without confirmation: the caller offers it
  kBrowserOpened,     // the download page was opened (or offered and declined)
  kDeclined,          // the user said No to the installation
  kNotInstalled,      // the installer could not be fetched or verified
  kInstallerStarted,  // the installer runs: end the process with 0
};

struct UpdateCheckEnv {
  HttpClient& http;
  FileSystem& fs;
  IniReader& ini;  // reads the answer file afresh each time
  Prompts& prompts;
  ShellOpen& shell;  // the browser (verb "open")
  Clock& clock;
  Log& log;
  StringLookup strings;
  Text data_folder;
  Text own_version;  // FileVersion of the version resource
  Text endpoint = Text(kDefaultUpdateEndpoint);
  // Starts the installer at `path` with `argument` (/verysilent), verb
  // "open", a normal window; true when it started.
  std::function<bool(TextView path, TextView argument)> run_installer;
};

// What the update service answered.
struct UpdateOffer {
  Text version;        // PROGRAM_VERSION
  Text url;            // PROGRAM_URL
  Text digest;         // PROGRAM_SHA256, lower case
  bool browser = false;  // OPEN_BROWSER is 1: the page is opened, nothing downloaded
  bool newer = false;    // a complete answer naming a newer version than ours
};

enum class OfferStatus {
  kReceived,      // *offer holds the answer
  kNoConnection,  // no route, or the service could not be reached
  kNotFetched,    // an HTTP error, a body cut short or too large
  kNotSaved,      // the answer file could not be written
};

class UpdateChecker {
 public:
  explicit UpdateChecker(UpdateCheckEnv env) : env_(std::move(env)) {}

  [[nodiscard]] UpdateOutcome Check(const UpdateFlags& flags);
  // Only asks: fetches the answer into the update file and reads it back.
  // *fetched tells how the fetch went.
  [[nodiscard]] OfferStatus FetchOffer(UpdateOffer* offer, FetchResult* fetched);
  const UpdateCheckEnv& env() const { return env_; }
  bool checking() const { return checking_.load(); }
  // What the last answer offered.
  const Text& program_url() const { return program_url_; }

 private:
  UpdateOutcome Run(const UpdateFlags& flags);
  UpdateOutcome Install(const UpdateFlags& flags, const Text& digest);
  bool Ask(TextView key, PromptIcon icon);
  void Tell(const UpdateFlags& flags, TextView key, PromptIcon icon);
  Text Path(TextView name) const { return env_.data_folder + u"\\" + Text(name); }
  Text Answer(TextView key);

  UpdateCheckEnv env_;
  std::atomic<bool> checking_{false};
  std::atomic<bool> downloading_{false};
  Text program_url_;
};

}  // namespace hs
