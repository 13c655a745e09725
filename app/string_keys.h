// Every string key the program looks up (section RESOURCESTRING), with the
// printf conversions its text must hold. A language file must define each;
// app/lang_file_test.cpp checks the English file against this list. Add a
// key here when code starts to use it.
//
// `args` lists the conversions the caller fills, in order: 'd' an integer,
// 's' a text. nullptr: the text is shown as it is and may hold '%'.
//
// Not listed here: IDS_PROBLEM_DESC_1..44 and IDS_PROBLEM_DETAIL_1..44
// (kProblemTextKeys) and their worded variants (kProblemTextVariants),
// filled with "%s" only, as many as DescriptionArguments and
// DetailArguments (engine/problem.h) pass for the entry type and variant.
//
// LookupString trims texts, so a text that callers put directly in front of
// a name (marked "prefix") cannot end with a blank; such callers add one.
#pragma once

namespace hs {

struct StringKey {
  const char* key;
  const char* args;
};

inline constexpr int kProblemTextKeys = 44;

// The entry types (0-based) whose description or detail has a "_DEFAULT"
// (unnamed value), "_EMPTY" (names no file) or "_FOLDER" (an installer
// folder) variant.
struct ProblemTextVariant {
  const char* prefix;  // "IDS_PROBLEM_DESC_" or "IDS_PROBLEM_DETAIL_"
  int type;
  const char* suffix;
};
inline constexpr ProblemTextVariant kProblemTextVariants[] = {
    {"IDS_PROBLEM_DESC_", 21, "_EMPTY"},      {"IDS_PROBLEM_DESC_", 23, "_EMPTY"},
    {"IDS_PROBLEM_DESC_", 36, "_EMPTY"},      {"IDS_PROBLEM_DESC_", 41, "_EMPTY"},
    {"IDS_PROBLEM_DESC_", 42, "_DEFAULT"},    {"IDS_PROBLEM_DESC_", 43, "_DEFAULT"},
    {"IDS_PROBLEM_DESC_", 36, "_FOLDER"},     {"IDS_PROBLEM_DETAIL_", 36, "_FOLDER"},
    {"IDS_PROBLEM_DETAIL_", 21, "_EMPTY"},    {"IDS_PROBLEM_DETAIL_", 23, "_EMPTY"},
    {"IDS_PROBLEM_DETAIL_", 36, "_EMPTY"},    {"IDS_PROBLEM_DETAIL_", 41, "_EMPTY"},
    {"IDS_PROBLEM_DETAIL_", 41, "_DEFAULT"},  {"IDS_PROBLEM_DETAIL_", 42, "_DEFAULT"},
    {"IDS_PROBLEM_DETAIL_", 43, "_DEFAULT"},
};

inline constexpr StringKey kStringKeys[] = {
    {"AFX_IDS_APP_TITLE", nullptr},
    {"IDS_LANGUAGE", nullptr},

    // Scan areas: name, description, brief description.
    {"IDS_ACTIVEX_COM", nullptr}, {"IDS_DES_ACTIVEX_COM", nullptr}, {"IDS_BDES_ACTIVEX_COM", nullptr},
    {"IDS_APPLICATION", nullptr}, {"IDS_DES_APPLICATION", nullptr}, {"IDS_BDES_APPLICATION", nullptr},
    {"IDS_FILE_TYPE", nullptr}, {"IDS_DES_FILE_TYPE", nullptr}, {"IDS_BDES_FILE_TYPE", nullptr},
    {"IDS_FONTS", nullptr}, {"IDS_DES_FONTS", nullptr}, {"IDS_BDES_FONTS", nullptr},
    {"IDS_HELP_FILES", nullptr}, {"IDS_DES_HELP_FILES", nullptr}, {"IDS_BDES_HELP_FILES", nullptr},
    {"IDS_HISTORYLIST", nullptr}, {"IDS_DES_HISTORYLIST", nullptr}, {"IDS_BDES_HISTORYLIST", nullptr},
    {"IDS_SHAREDFILES", nullptr}, {"IDS_DES_SHAREDFILES", nullptr}, {"IDS_BDES_SHAREDFILES", nullptr},
    {"IDS_SHORTCUTS", nullptr}, {"IDS_DES_SHORTCUTS", nullptr}, {"IDS_BDES_SHORTCUTS", nullptr},
    {"IDS_SOFTWARE", nullptr}, {"IDS_DES_SOFTWARE", nullptr}, {"IDS_BDES_SOFTWARE", nullptr},
    {"IDS_SOUNDS", nullptr}, {"IDS_DES_SOUNDS", nullptr}, {"IDS_BDES_SOUNDS", nullptr},
    {"IDS_STARTMENU", nullptr}, {"IDS_DES_STARTMENU", nullptr}, {"IDS_BDES_STARTMENU", nullptr},
    {"IDS_STARTUP", nullptr}, {"IDS_DES_STARTUP", nullptr}, {"IDS_BDES_STARTUP", nullptr},
    {"IDS_DEEP_SCAN", nullptr}, {"IDS_DES_DEEP_SCAN", nullptr}, {"IDS_BDES_DEEP_SCAN", nullptr},
    {"IDS_CURRENTUSER", nullptr}, {"IDS_DES_CURRENTUSER", nullptr}, {"IDS_BDES_CURRENTUSER", nullptr},
    {"IDS_SHORTCUTS_NAME", nullptr},

    // Scan, results and problem details.
    {"IDS_EMPTY_KEY", nullptr},
    {"IDS_ERROR", nullptr},   // "%d %s" with a count of 1
    {"IDS_ERRORS", nullptr},  // and with other counts
    {"IDS_NO_SELECTED", nullptr},
    {"IDS_STOP_SCAN_DES", nullptr},
    {"IDS_NO_ERRORS_FOUND", nullptr},
    {"IDS_NO_ERRORS_SELECTED", nullptr},
    {"IDS_INCOMPLETE_ENTRY", nullptr},       // prefix of an uninstall entry name
    {"IDS_DEFAULT_VALUE", nullptr},          // the unnamed value in a problem detail
    {"IDS_ENG_MISSING_FILE", nullptr},
    {"IDS_MISSING_SHARED_FILE", "s"},        // file name or extension description
    {"IDS_INVALID_REF_STARTMENU", nullptr},  // prefix of a folder name
    {"IDS_EMPTY_KEY_STARTMENU", nullptr},    // prefix of a folder name
    {"IDS_HISTORY_LIST_FOR", nullptr},       // progress text
    {"IDS_OPEN_SAVE_MRU", nullptr},          // progress text
    {"IDS_USER_ASSIST_KEYS", nullptr},       // progress text
    {"IDS_USERASSIST_KEY", nullptr},         // prefix of a usage record name
    {"IDS_HISTLIST_UNNEEDED", nullptr},      // "%s %s %s": "Explorer", this, " file (*.ext)"
    {"IDS_HISTLIST_INVALID", nullptr},       // "%s %s %s": label, this, file name
    {"IDS_STARTMENU_HIST", "ss"},            // "shortcut" or "folder", the record's name

    // Repair.
    {"IDS_CREATING_RESTORE_PT", nullptr},
    {"IDS_ERRORS_PROCESSED", "dd"},  // processed, selected count

    // Detailed problem list.
    {"IDS_STR_REG_ERR_DETAILS", nullptr},
    {"IDS_SELECT_ALL", nullptr},
    {"IDS_BTN_CLOSE", nullptr},
    {"IDS_BTN_EXPORT_LOG", nullptr},
    {"IDS_SELECT_THIS", nullptr},
    {"IDS_UNSELECT_THIS", nullptr},
    {"ID_SELECTION_SELECT_ALL", nullptr},
    {"ID_SELECTION_DESELECT_ALL", nullptr},
    {"ID_SELECTION_INVERT_SELECTION", nullptr},
    {"ID_PROBLEM_DETAILS_COPY", nullptr},
    {"ID_PROBLEM_ADD_TO_IGNORE", nullptr},
    {"ID_PROBLEM_DETAILS_GO_TO_KEY", nullptr},
    {"IDS_FILE_PROP", nullptr},
    {"IDS_SHOW_DETAILS", nullptr},  // the browser list's per-row details
    {"IDS_SELECTED_OF", "dd"},      // ticked rows, all rows
    {"IDS_RESULTS_NOT_SAVED", nullptr},

    // Exclusion list.
    {"IDS_ST_EXCLUDE_LST_HEAD", nullptr},
    {"IDS_BTN_ADDENTRY", nullptr},
    {"IDS_BTN_DELETE_ENTRY", nullptr},
    {"IDS_SELECT_DELETE_ENTRY", nullptr},
    {"IDS_ST_SEL_SECTION", nullptr},
    {"IDS_ST_SPECIFY_ENTRY", nullptr},
    {"IDS_ST_EXAMPLE", nullptr},
    {"IDS_BTN_OK", nullptr},
    {"IDS_BTN_CANCEL", nullptr},
    {"IDS_NOEMPTY_KEY", nullptr},
    {"IDS_ITEM_ALREADY_EXIST", nullptr},
    {"IDS_CHK_SKIP_ERR_MEDIA", nullptr},
    {"IDS_CHK_SKIP_EMPTY_KEYS", nullptr},
    {"IDS_ST_EXCLUDE_ADD_TITLE", nullptr},

    // Settings screen: its pages and their captions.
    {"IDS_ST_PAGE_GENERAL", nullptr},
    {"IDS_ST_PAGE_SCAN_AREAS", nullptr},
    {"IDS_ST_PAGE_EXCLUSIONS", nullptr},
    {"IDS_ST_PAGE_SCHEDULE", nullptr},
    {"IDS_BTN_APPLY", nullptr},
    {"IDS_ST_CLOSE_ACTION", nullptr},
    {"IDS_ST_CLOSE_TO_TRAY", nullptr},
    {"IDS_ST_CLOSE_EXIT", nullptr},
    {"IDS_CHK_START_AT_LOGON", nullptr},
    {"IDS_ST_SCAN_AREAS_HEAD", nullptr},
    {"IDS_ST_SCHEDULE_HEAD", nullptr},
    {"IDS_ST_START_DATE", nullptr},
    {"IDS_ST_START_TIME", nullptr},
    {"IDS_ST_REPEAT_EVERY", nullptr},
    {"IDS_ST_SCHEDULE_DAYS", nullptr},
    {"IDS_SCHEDULING_UNAVAILABLE", nullptr},

    // Undo and backups.
    {"IDS_STR_UNDO_FAILED", nullptr},
    {"IDS_UNZIP_ERR", nullptr},
    {"IDS_STR_FULLBACKUP", nullptr},      // after a time text
    {"IDS_STR_PARTIAL_BACKUP", nullptr},  // after a time text
    {"IDS_PARTIAL_BACKUP", nullptr},      // prefix of a time text
    {"IDS_CHANGE_DATE_TIME", nullptr},
    {"IDS_UNDO_FILE", nullptr},
    {"IDS_NO_ITEM_TO_SHOW", nullptr},
    {"IDS_BTN_RESTORE", nullptr},
    {"IDS_BTN_DELETE", nullptr},
    {"IDS_REG_BKUP_HEADER_TXT", nullptr},
    {"IDS_HEADING_BACKUP_REGISTRY", nullptr},
    {"IDS_BTN_TAKE_FULL_REG_BKUP", nullptr},
    {"IDS_HEADING_RESTORE_REGISTRY", nullptr},
    {"IDS_BTN_FULL_BACKUPS", nullptr},
    {"IDS_BTN_PARTIAL_BACKUPS", nullptr},
    {"IDC_BACKUP_INFO", nullptr},
    {"IDC_RESTORE_INFO", nullptr},
    {"IDC_STR_BACKUP_FILE_MISSING", nullptr},
    {"IDS_BACKUP_CANNOT_BE_RESTORED", nullptr},
    {"IDS_SELECT_RESTORE_ITEM", nullptr},
    {"IDS_SELECT_DELETE_ITEM", nullptr},
    {"IDS_CONFIRM_DELETE", nullptr},
    {"IDS_SUCCESSFULL_RESTORE", nullptr},
    {"IDS_STR_LACK_OF_PERMISSION", nullptr},
    {"IDS_FULL_BACKUP_FAILED", nullptr},
    {"IDS_BACKUP_FILE_DAMAGED", nullptr},
    {"IDS_FULL_RESTORE_FAILED", nullptr},
    {"IDS_DELETE_FAILED", nullptr},

    // Registry optimisation.
    {"IDS_ALERT_DEFRAG", nullptr},
    {"IDS_STR_REGDEFRAG_BTN_STARTSCAN", nullptr},
    {"IDS_BTN_STOP_SCAN", nullptr},
    {"IDS_NOREGOPT_YET", nullptr},
    {"IDS_REG_DEFRAG_KEY_COUNT", "d"},  // number of hives
    {"IDS_REG_DEFRAG_PROGRESS", "d"},   // percent done
    {"IDS_FRGMENTATION", "d"},          // percent
    {"SCANTAB3LISTFILESIZE", "ss"},     // size of the hive file, size of its compact copy
    {"IDS_REG_OPT_NOT_REQ", nullptr},
    {"IDC_BTN_OPTIMIZE_NOW", nullptr},
    {"IDS_OPT_AT_NEXT_RESTART", nullptr},
    {"IDS_SHUTDOWN_MSG_DEFRAG", nullptr},  // passed in double quotes: must hold none

    // Start-up and settings.
    {"IDS_STR_ERROR_RIGHTS_ALERT", nullptr},
    {"IDS_NORIGHTS", nullptr},
    {"IDS_SETTINGS_SAVED", nullptr},
    {"IDS_LANG_CHANGE_PROMPT", nullptr},
    {"IDS_BTN_RESTORE_DEFAULTS", nullptr},

    // Scheduled scans.
    {"IDS_RAD_RUN_ONCE", nullptr},
    {"IDS_RAD_EVERY_DAY", nullptr},
    {"IDS_RAD_EVERY_WEEK", nullptr},
    {"IDS_RAD_DO_NO_SCHEDULE", nullptr},
    {"IDS_DATE_ALREADY_ELAPSED", nullptr},
    {"IDS_TIME_ALREADY_ELAPSED", nullptr},
    {"IDS_ST_SCHEDULED_AT", nullptr},
    {"IDS_NOSCHEDULE_YET", nullptr},
    {"IDS_DATAERROR", nullptr},
    {"IDS_NODAY", nullptr},
    {"IDS_TASKCREATED", nullptr},
    {"IDS_SERVICENORUN", nullptr},
    {"IDS_NEWTASKERROR", nullptr},
    {"IDS_FILEEXIST", nullptr},
    {"IDS_VALIDFILE", nullptr},
    {"IDS_RUNONCE", nullptr},     // prefix of a date and time
    {"IDS_EVERYDAY", nullptr},    // prefix of a time
    {"IDS_EVERYWEEK", nullptr},   // prefix of a time
    {"IDS_EVERYMONTH", nullptr},  // prefix of a date and time
    {"IDS_DAY", nullptr},         // before the day numbers
    {"IDS_CHK_MON", nullptr},
    {"IDS_CHK_TUE", nullptr},
    {"IDS_CHK_WED", nullptr},
    {"IDS_CHK_THR", nullptr},
    {"IDS_CHK_FRI", nullptr},
    {"IDS_CHK_SAT", nullptr},
    {"IDS_CHK_SUN", nullptr},
    {"IDS_SCHEDULE_RUNNING", nullptr},
    {"IDS_HVX_FOUND_NUM", nullptr},  // result pop-up pieces, in order
    {"IDS_DURING_SCH_SCAN", nullptr},
    {"IDS_CLICK_TOVIEW_RESULTS", nullptr},
    {"IDS_HVX_DIDNOT_FOUND_ERRORS", nullptr},
    {"IDS_ON_UR_SYSTEM", nullptr},
    {"IDS_CLICKTO_OPEN_HVX", nullptr},
    {"IDS_CUD_NOT_COMP_SCHED_SCAN", nullptr},
    {"IDS_AS_NOSCANAREA_SEL", nullptr},
    {"IDS_ERR_FOUND", "d"},    // number of problems
    {"IDS_NOT_SCANNED", "d"},  // days since the last scan

    // Main window and pages.
    {"IDS_ABOUTBOX", nullptr},
    {"IDS_SEL_LANG", nullptr},
    {"IDS_CHK_FOR_UPDATES", nullptr},
    {"IDS_BTN_HOME", nullptr},
    {"IDS_BTN_SCAN_REG", nullptr},
    {"IDS_BTN_OPTIMIZE_REG", nullptr},
    {"IDS_BTN_BACKUP_REG", nullptr},
    {"IDS_BTN_SETTINGS", nullptr},
    {"IDS_BTN_HELP", nullptr},
    {"IDS_NOSCAN", nullptr},
    {"IDS_TODAY", nullptr},
    {"IDS_YESTERDAY", nullptr},
    {"IDS_DAYSAGO", "d"},
    {"IDS_ERRORCOUNT", nullptr},
    {"IDS_ERRORCOUNTS", "d"},
    {"IDS_SCANNED", nullptr},  // before the day text
    {"STR_IDS_CONGS", nullptr},
    {"STR_IDS_RECOMMN", nullptr},
    {"STR_IDS_LIST", nullptr},
    {"STR_IDS_KEEP_REG_CLN", nullptr},
    {"STR_IDS_ACDLG_FAST_SPEED", nullptr},
    {"STR_IDS_ACDLG_UNCLUT_REG", nullptr},
    {"STR_IDS_ACDLG_FEWER_ERR", nullptr},
    {"STR_IDS_ACDLG_SAFE", nullptr},
    {"IDS_SEL_ERR_REMAINING", nullptr},
    {"IDS_SCAN_AGAIN", nullptr},
    {"string162", nullptr},
    {"string163", nullptr},
    {"string164", nullptr},

    // Update check.
    {"IDS_NEW_UPDATE_AVAILABLE", nullptr},
    {"IDS_CLK_TO_UPDATE_NOW", nullptr},
    {"IDS_CANNOT_CONNECT", nullptr},
    {"IDS_NO_NEW_UPDATE_ABLBLE", nullptr},
    {"IDS_NEW_UPDATE_ABLBLE", nullptr},
    {"IDS_NEW_UPDATE_ABLBLE_BROWSER", nullptr},
    {"IDS_UPDATE_NOT_VERIFIED", nullptr},
};

}  // namespace hs
