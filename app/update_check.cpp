#include "app/update_check.h"

#include <cstdio>

#include "platform/sha256.h"

namespace hs {

namespace {

constexpr std::size_t kAnswerCapacity = 2048;

const char* FetchText(FetchStatus s) {
  switch (s) {
    case FetchStatus::kOk: return "ok";
    case FetchStatus::kNoConnection: return "no connection";
    case FetchStatus::kHttpError: return "HTTP status";
    case FetchStatus::kTruncated: return "cut short";
    case FetchStatus::kTooLarge: return "too large";
    case FetchStatus::kFailed: return "failed";
  }
  return "failed";
}

Text FetchLine(TextView what, const FetchResult& r) {
  std::string line = std::string(" could not be fetched: ") + FetchText(r.outcome);
  if (r.status != 0) line += " " + std::to_string(r.status);
  return Text(what) + FromUtf8(line);
}

class Flag {
 public:
  explicit Flag(std::atomic<bool>& f) : f_(f), taken_(!f.exchange(true)) {}
  ~Flag() {
    if (taken_) f_.store(false);
  }
  Flag(const Flag&) = delete;
  Flag& operator=(const Flag&) = delete;
  bool taken() const { return taken_; }

 private:
  std::atomic<bool>& f_;
  bool taken_;
};

}  // namespace

VersionParts ParseVersion(TextView text) {
  VersionParts parts{};
  std::size_t part = 0;
  std::uint32_t value = 0;
  bool in_digits = true;
  for (char16_t c : text) {
    if (c == u' ' || c == u'\t') continue;
    if (c == u'.' || c == u',') {
      if (part < parts.size()) parts[part] = static_cast<std::uint16_t>(value);
      if (++part >= parts.size()) return parts;
      value = 0;
      in_digits = true;
      continue;
    }
    if (in_digits && c >= u'0' && c <= u'9') {
      value = (value * 10 + (c - u'0')) & 0xFFFFFFu;
    } else {
      in_digits = false;
    }
  }
  if (part < parts.size()) parts[part] = static_cast<std::uint16_t>(value);
  return parts;
}

bool IsNewerVersion(const VersionParts& offered, const VersionParts& own) {
  const auto major_minor = [](const VersionParts& v) { return (std::uint32_t{v[0]} << 16) | v[1]; };
  const auto build_rev = [](const VersionParts& v) { return (std::uint32_t{v[2]} << 16) | v[3]; };
  if (major_minor(offered) != major_minor(own)) return major_minor(offered) > major_minor(own);
  return build_rev(offered) > build_rev(own);
}

Text UpdateRequestAddress(TextView endpoint, TextView own_version) {
  return Text(endpoint) + u"?v=" + Text(own_version);
}

Text InstallerFileName(const DateTime& local) {
  return FormatNumbers(u"productSetup_Setup_%d_%d_%d.exe", {local.month, local.day, local.year});
}

UpdateOutcome UpdateChecker::Check(const UpdateFlags& flags) {
  Flag checking(checking_);
  if (!checking.taken()) return UpdateOutcome::kBusy;
  env_.log.LogLine(u"Check for Update started");
  const UpdateOutcome outcome = Run(flags);
  env_.log.LogLine(u"Check for Update Completed");
  return outcome;
}

bool UpdateChecker::Ask(TextView key, PromptIcon icon) {
  return env_.prompts.Ask(env_.strings(key), PromptButtons::kYesNo, icon) == PromptAnswer::kYes;
}

void UpdateChecker::Tell(const UpdateFlags& flags, TextView key, PromptIcon icon) {
  if (flags.automatic || flags.unattended) return;
  (void)env_.prompts.Ask(env_.strings(key), PromptButtons::kOk, icon);
}

Text UpdateChecker::Answer(TextView key) {
  return Trim(env_.ini.ReadString(Path(kUpdateFileName), kUpdateSection, key, u"", kAnswerCapacity));
}

OfferStatus UpdateChecker::FetchOffer(UpdateOffer* offer, FetchResult* fetched) {
  *offer = UpdateOffer{};
  *fetched = FetchResult{};
  if (!env_.http.Connected()) {
    fetched->outcome = FetchStatus::kNoConnection;
    return OfferStatus::kNoConnection;
  }
  const Text file = Path(kUpdateFileName);
  (void)env_.fs.DeleteFile(file);
  std::vector<std::uint8_t> body;
  *fetched = env_.http.Fetch(UpdateRequestAddress(env_.endpoint, env_.own_version), kMaxUpdateFileBytes, &body);
  if (fetched->outcome == FetchStatus::kNoConnection) return OfferStatus::kNoConnection;
  if (fetched->outcome != FetchStatus::kOk) return OfferStatus::kNotFetched;
  if (env_.fs.WriteFileAtomic(file, body) != err::kSuccess) return OfferStatus::kNotSaved;
  offer->version = Answer(u"PROGRAM_VERSION");
  offer->url = Answer(u"PROGRAM_URL");
  offer->browser = Lowercase(Answer(u"OPEN_BROWSER")) == u"1";
  offer->digest = Lowercase(Answer(u"PROGRAM_SHA256"));
  Text own = env_.own_version;
  std::erase(own, u' ');
  offer->newer = !own.empty() && !offer->version.empty() && !offer->url.empty() &&
                 IsNewerVersion(ParseVersion(offer->version), ParseVersion(own));
  return OfferStatus::kReceived;
}

UpdateOutcome UpdateChecker::Run(const UpdateFlags& flags) {
  UpdateOffer offer;
  FetchResult fetched;
  const OfferStatus status = FetchOffer(&offer, &fetched);
  if (status == OfferStatus::kNoConnection) {
    env_.log.LogLine(FetchLine(u"The update information", fetched));
    Tell(flags, u"IDS_CANNOT_CONNECT", PromptIcon::kError);
    return UpdateOutcome::kNothingNewer;
  }
  if (status != OfferStatus::kReceived) {
    env_.log.LogLine(status == OfferStatus::kNotFetched ? FetchLine(u"The update information", fetched)
                                                        : Text(u"The update information could not be saved"));
    Tell(flags, u"IDS_NO_NEW_UPDATE_ABLBLE", PromptIcon::kInformation);
    return UpdateOutcome::kNothingNewer;
  }
  program_url_ = offer.url;
  if (!offer.newer) {
    Tell(flags, u"IDS_NO_NEW_UPDATE_ABLBLE", PromptIcon::kInformation);
    return UpdateOutcome::kNothingNewer;
  }
  env_.log.LogLine(u"A newer version is offered: " + offer.version);
  if (flags.unattended && !flags.install_confirmed) return UpdateOutcome::kNewer;
  if (offer.browser) {
    if (Ask(u"IDS_NEW_UPDATE_ABLBLE_BROWSER", PromptIcon::kQuestion)) (void)env_.shell.Open(program_url_);
    return UpdateOutcome::kBrowserOpened;
  }
  if (!flags.install_confirmed && !Ask(u"IDS_NEW_UPDATE_ABLBLE", PromptIcon::kQuestion))
    return UpdateOutcome::kDeclined;
  return Install(flags, offer.digest);
}

UpdateOutcome UpdateChecker::Install(const UpdateFlags& flags, const Text& digest) {
  Flag downloading(downloading_);
  if (!downloading.taken()) return UpdateOutcome::kNotInstalled;
  if (!env_.http.Connected()) {
    Tell(flags, u"IDS_CANNOT_CONNECT", PromptIcon::kError);
    return UpdateOutcome::kNotInstalled;
  }
  const Text temp = Path(kInstallerTempName);
  (void)env_.fs.DeleteFile(temp);
  std::vector<std::uint8_t> installer;
  const FetchResult fetched = env_.http.Fetch(program_url_, kMaxInstallerBytes, &installer);
  if (fetched.outcome != FetchStatus::kOk) {
    env_.log.LogLine(FetchLine(u"The installer", fetched));
    return UpdateOutcome::kNotInstalled;
  }
  const std::string actual = Sha256Hex(installer);
  if (digest.empty() || actual.empty() || FromUtf8(actual) != digest) {
    env_.log.LogLine(digest.empty() ? Text(u"The update names no SHA-256 digest; its installer is not run")
                                    : u"The installer's SHA-256 digest " + FromUtf8(actual) +
                                          u" differs from the announced " + digest + u"; it is not run");
    if (Ask(u"IDS_UPDATE_NOT_VERIFIED", PromptIcon::kWarning)) (void)env_.shell.Open(program_url_);
    return UpdateOutcome::kNotInstalled;
  }
  const Text path = Path(InstallerFileName(env_.clock.LocalTime()));
  if (env_.fs.WriteFileAtomic(temp, installer) != err::kSuccess ||
      env_.fs.MoveFile(temp, path, true) != err::kSuccess) {
    env_.log.LogLine(u"The installer could not be saved in the data folder");
    (void)env_.fs.DeleteFile(temp);
    return UpdateOutcome::kNotInstalled;
  }
  if (!env_.run_installer || !env_.run_installer(path, kInstallerArgument)) {
    env_.log.LogLine(u"The installer could not be started");
    return UpdateOutcome::kNotInstalled;
  }
  env_.log.LogLine(u"ExitProcess : InstallUpdates");
  return UpdateOutcome::kInstallerStarted;
}

}  // namespace hs
