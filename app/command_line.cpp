#include "app/command_line.h"

namespace hs {

Text NormalizeOption(TextView argument) {
  Text out;
  for (char16_t c : argument)
    if (c != u'\\' && c != u'/' && c != u'-') out.push_back(c);
  return Lowercase(Trim(out));
}

StartupFlags ParseCommandLine(const std::vector<Text>& arguments, bool is_administrator) {
  StartupFlags f;
  const Text option = arguments.empty() ? Text() : NormalizeOption(arguments[0]);
  if (option == u"ppibuild") f.ppi_build = true;
  else if (option == u"startedafteroptimization") f.after_compaction = true;
  else if (option == u"hvxvistascan") f.vista_scan = true;
  else if (option == u"hvxvistadefrag") f.vista_defrag = true;
  else if (option == u"hvxvistaoneclick") f.vista_oneclick = true;
  else if (option == u"hvxvistafullbackup") f.vista_full_backup = true;
  else if (option == u"hvxvistafullbackuprestore") f.vista_full_backup_restore = true;
  else if (option == u"hvxvistapartialbackuprestore") f.vista_partial_backup_restore = true;
  else if (option == u"hvxvistaschedule") f.vista_schedule = true;
  else if (option == u"default") f.default_task = true;
  else if (option == u"rem") f.reminder = true;

  if (!is_administrator) {
    f.vista_scan = f.vista_defrag = f.vista_oneclick = f.vista_full_backup = false;
    f.vista_full_backup_restore = f.vista_partial_backup_restore = f.vista_schedule = false;
  }
  if ((f.vista_full_backup_restore || f.vista_partial_backup_restore) && arguments.size() > 1)
    f.backup_target = arguments[1];
  // Every start shows the main window unless an option keeps it hidden (an
  // unknown option is an interactive start too).
  f.show_main_window = !f.default_task;
  if (!option.empty() && !f.reminder) {
    if (option == u"scan") {
      f.scan_now = true;
      f.unattended = true;
      f.show_main_window = false;
    } else if (option == u"silentresults") {
      f.silent_results = true;
      f.show_main_window = false;
    } else if (option == u"updatecheck") {
      f.update_check = true;
      f.unattended = true;
      f.show_main_window = false;
    }
  }
  return f;
}

}  // namespace hs
