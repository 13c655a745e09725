#include "areas/sounds.h"

#include "areas/safe_lists.h"
#include "areas/windows_folder.h"
#include "engine/scan_manager.h"

namespace hs {

namespace {

constexpr TextView kAppsKey = u"AppEvents\\Schemes\\Apps";
constexpr TextView kLabelsKey = u"AppEvents\\EventLabels";
constexpr std::size_t kMaxSoundChars = 260;
constexpr int kTypeMissingSound = 37;

struct Scheme {
  TextView key;
  TextView label;
};
constexpr Scheme kSchemes[] = {{u".Current", u"Current"}, {u".Default", u"Windows Default"}, {u".None", u"No Sounds"}};

// The text without surrounding double quotes.
Text Unquoted(TextView text) {
  Text t = Trim(text);
  if (t.size() >= 2 && t.front() == u'"' && t.back() == u'"') t = Trim(TextView(t).substr(1, t.size() - 2));
  return t;
}

}  // namespace

CSounds::CSounds(ScanManager& manager) : CProgramArea(0x0200, manager) {}

bool CSounds::PrepareScan() { return true; }

int CSounds::Scan() {
  (void)PrepareScan();
  const Text windows = WindowsFolder(context(), system_folder());
  media_folder_ = windows.empty() ? Text() : windows + u"\\media";
  std::vector<Text> apps;
  {
    KeyHolder key(env().registry);
    if (key.Open(kHkeyCurrentUser, kAppsKey, ReadMask(true)) == err::kSuccess) EnumSubkeyNames(env(), key.get(), &apps);
  }
  for (const Text& app : apps) {
    if (IsCancelled()) return 2;
    const Text app_key = Text(kAppsKey) + u"\\" + app;
    ReportProgress(u"Sound: " + app_key);
    std::vector<Text> events;
    {
      KeyHolder key(env().registry);
      if (key.Open(kHkeyCurrentUser, app_key, ReadMask(true)) != err::kSuccess) continue;
      EnumSubkeyNames(env(), key.get(), &events);
    }
    for (const Text& event : events) {
      if (IsCancelled()) return 2;
      for (const Scheme& s : kSchemes) CheckSoundEvent(app_key + u"\\" + event + u"\\" + Text(s.key), s.label, app, event);
    }
  }
  Sort();
  return 1;
}

Text CSounds::DefaultText(TextView subkey, bool read_write) {
  KeyHolder key(env().registry);
  if (key.Open(kHkeyCurrentUser, subkey, read_write ? ReadWriteMask(true) : ReadMask(true)) != err::kSuccess)
    return Text();
  Text text;
  (void)ReadValueText(env().registry, key.get(), u"", kMaxSoundChars, &text);
  return text;
}

void CSounds::CheckSoundEvent(const Text& scheme_key, TextView scheme_label, const Text& app, const Text& event) {
  const Text sound = DefaultText(scheme_key, true);
  if (sound.empty()) return;
  // A bare file name (no folder, no variable) is taken whole: cleaning would
  // cut a name like "Old Chime.wav" at its space.
  const Text bare = Unquoted(sound);
  Text path = bare.find_first_of(u"\\%") == Text::npos ? bare : CleanPath(sound);
  if (path.empty()) return;
  if (path.find(u'\\') == Text::npos) {
    if (media_folder_.empty()) return;  // nowhere to look
    path = media_folder_ + u"\\" + path;
  }
  const SafeListCheck* safe = context().safe_lists;
  if ((safe && safe->IsSafePath(path)) || FileExists(path) != -1) return;

  Text display = DefaultText(Text(kAppsKey) + u"\\" + app, false);
  Text label = DefaultText(Text(kLabelsKey) + u"\\" + event, false);
  if (label.empty()) label = event;
  if (display.empty()) display = app;
  Report(kTypeMissingSound, u"HKEY_CURRENT_USER\\" + scheme_key, u"", sound, false,
         {u"Event " + label + u" for the program " + display, Text(scheme_label)});
}

}  // namespace hs
