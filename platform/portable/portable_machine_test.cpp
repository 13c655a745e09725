// The portable machine: its description file, loading a machine folder, and
// the data folder that is the only place it writes.
#include "platform/portable/portable_machine.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/data_folder.h"
#include "testing/test_env.h"

namespace hs {
namespace {

namespace stdfs = std::filesystem;

const Text* Variable(const MachineDescription& d, TextView name) {
  for (const auto& [n, v] : d.shell.environment)
    if (EqualsNoCase(n, name)) return &v;
  return nullptr;
}

MachineDescription Parse(std::string_view text, std::vector<char16_t> drives = {u'C'}) {
  MachineDescription d;
  std::string error;
  EXPECT_TRUE(ParseMachineDescription(text, drives, &d, &error)) << error;
  return d;
}

std::string ParseError(std::string_view text) {
  MachineDescription d;
  std::string error;
  EXPECT_FALSE(ParseMachineDescription(text, {u'C'}, &d, &error)) << text;
  return error;
}

TEST(MachineDescription, DefaultsDescribeA64BitWindows7ForA32BitProgram) {
  const MachineDescription d = Parse("");
  EXPECT_TRUE(d.shell.windows64);
  EXPECT_EQ(6, d.facts.major_version);
  EXPECT_EQ(u"C:\\Windows\\system32", d.facts.system_directory);
  EXPECT_EQ(u"C:\\Windows\\SysWOW64", d.facts.system_wow64_directory);
  ASSERT_NE(nullptr, Variable(d, u"programfiles"));
  EXPECT_EQ(u"C:\\Program Files (x86)", *Variable(d, u"ProgramFiles"));
  EXPECT_EQ(u"C:\\Program Files", *Variable(d, u"ProgramW6432"));
  EXPECT_EQ(u"C:\\Program Files (x86)\\Common Files", *Variable(d, u"CommonProgramFiles"));
  EXPECT_EQ(u"C:\\Windows", *Variable(d, u"SystemRoot"));
  EXPECT_EQ(u"C:\\Users\\User\\AppData\\Local\\Temp", *Variable(d, u"TEMP"));
  EXPECT_EQ(u"C:\\Users\\User\\AppData\\Roaming", d.folders.app_data);
  EXPECT_EQ(u"C:\\Windows\\Fonts", d.folders.special.at(0x14));
  EXPECT_EQ(u"C:\\Windows\\SysWOW64", d.folders.special.at(0x29));
  EXPECT_EQ((std::vector<Text>{u"C:\\Windows\\system32", u"C:\\Windows", u"C:\\Windows\\system32\\Wbem"}),
            d.shell.search_path);
  EXPECT_EQ(drive_type::kFixed, d.shell.drives.at(u'C'));
}

TEST(MachineDescription, ThirtyTwoBitXpMachineOfAnotherUser) {
  const MachineDescription d = Parse(
      "; an old machine\r\n[Machine]\r\nwindows64 = no\r\nversion = 5\r\nuser = Ann\r\nwindows = D:\\WINNT\r\n"
      "administrator = no\r\n",
      {u'C', u'D'});
  EXPECT_FALSE(d.shell.windows64);
  EXPECT_FALSE(d.facts.administrator);
  EXPECT_TRUE(d.facts.system_wow64_directory.empty());
  EXPECT_EQ(u"D:\\WINNT\\system32", d.shell.system_directory);
  EXPECT_EQ(u"D:\\Program Files", *Variable(d, u"ProgramFiles"));
  EXPECT_EQ(nullptr, Variable(d, u"ProgramFiles(x86)"));
  EXPECT_EQ(nullptr, Variable(d, u"LOCALAPPDATA"));
  EXPECT_EQ(u"D:\\Documents and Settings\\Ann\\Application Data", d.folders.app_data);
  EXPECT_EQ(u"D:\\Documents and Settings\\Ann\\Start Menu\\Programs\\Startup", d.folders.special.at(0x07));
  EXPECT_EQ(0u, d.folders.special.count(0x2A));
}

TEST(MachineDescription, SectionsOverrideTheDefaults) {
  const MachineDescription d = Parse(
      "\xEF\xBB\xBF[machine]\npath = C:\\Tools; C:\\Windows\\system32;\nprotected_files = C:\\Windows\\system32\\a.dll\n"
      "protected_keys = HKLM\\SOFTWARE\\Guarded\n"
      "[drives]\nc = removable\nE = cdrom\nF = none\n"
      "[environment]\nTEMP = C:\\Temp\nTMP =\nMYVAR = \xC3\xA9t\xC3\xA9\n"
      "[folders]\nFonts = C:\\Other Fonts\\\nappdata = C:\\Roam\n",
      {u'C', u'F'});
  EXPECT_EQ((std::vector<Text>{u"C:\\Tools", u"C:\\Windows\\system32"}), d.shell.search_path);
  EXPECT_EQ(std::vector<Text>{u"C:\\Windows\\system32\\a.dll"}, d.shell.protected_files);
  EXPECT_EQ(std::vector<Text>{u"HKLM\\SOFTWARE\\Guarded"}, d.protected_keys);
  EXPECT_EQ(drive_type::kRemovable, d.shell.drives.at(u'C'));
  EXPECT_EQ(drive_type::kCdRom, d.shell.drives.at(u'E'));
  EXPECT_EQ(0u, d.shell.drives.count(u'F')) << "none removes a drive that has a folder";
  EXPECT_EQ(u"C:\\Temp", *Variable(d, u"temp"));
  EXPECT_EQ(nullptr, Variable(d, u"TMP")) << "an empty value removes the variable";
  EXPECT_EQ(u"\u00e9t\u00e9", *Variable(d, u"MYVAR"));
  EXPECT_EQ(u"C:\\Other Fonts", d.folders.special.at(0x14));
  EXPECT_EQ(u"C:\\Roam", d.folders.app_data) << "AppData is the appdata folder";
}

TEST(MachineDescription, HivesAreTheHivelistInOrder) {
  const MachineDescription d = Parse(
      "[hives]\n\\REGISTRY\\MACHINE\\SAM = \\Device\\HarddiskVolume1\\Windows\\System32\\config\\SAM\n"
      "\\REGISTRY\\USER\\S-1 = C:\\Users\\u\\NTUSER.DAT\n");
  ASSERT_EQ(d.hives.size(), 2u);
  EXPECT_EQ(d.hives[0].name, u"\\REGISTRY\\MACHINE\\SAM");
  EXPECT_EQ(d.hives[0].path, u"\\Device\\HarddiskVolume1\\Windows\\System32\\config\\SAM");
  EXPECT_EQ(d.hives[1].path, u"C:\\Users\\u\\NTUSER.DAT");
  EXPECT_NE(std::string::npos, ParseError("[hives]\nSAM = C:\\SAM\n").find("machine.ini:2: a hive is named"));
  EXPECT_NE(std::string::npos, ParseError("[hives]\n\\REGISTRY\\A = \n").find("machine.ini:2:"));
  EXPECT_NE(std::string::npos,
            ParseError("[hives]\n\\REGISTRY\\A = C:\\a\n\\registry\\a = C:\\b\n").find("given twice"));
}

TEST(MachineDescription, FaultsNameTheirLine) {
  EXPECT_EQ("machine.ini:2: unknown section [network]", ParseError("[machine]\n[network]\n"));
  EXPECT_EQ("machine.ini:1: an entry before the first [section]", ParseError("user = x\n"));
  EXPECT_EQ("machine.ini:3: \"USER\" is given twice", ParseError("[machine]\nuser = a\nUSER = b\n"));
  EXPECT_EQ("machine.ini:2: expected name = value", ParseError("[machine]\nwindows64\n"));
  EXPECT_NE(std::string::npos, ParseError("[machine]\nwindows64 = maybe\n").find("machine.ini:2: windows64"));
  EXPECT_NE(std::string::npos, ParseError("[machine]\nversion = 10\n").find("machine.ini:2: version"));
  EXPECT_NE(std::string::npos, ParseError("[machine]\nuser = ..\\admin\n").find("machine.ini:2: user"));
  EXPECT_NE(std::string::npos, ParseError("[machine]\nwindows = Windows\n").find("machine.ini:2: windows"));
  EXPECT_NE(std::string::npos, ParseError("[machine]\npath = C:\\ok;relative\n").find("machine.ini:2: path"));
  EXPECT_NE(std::string::npos, ParseError("[machine]\nprotected_keys = NOTAROOT\\x\n").find("machine.ini:2:"));
  EXPECT_NE(std::string::npos, ParseError("[machine]\nsomething = 1\n").find("unknown name"));
  EXPECT_NE(std::string::npos, ParseError("[drives]\nCD = fixed\n").find("one letter"));
  EXPECT_NE(std::string::npos, ParseError("[drives]\nD = floppy\n").find("machine.ini:2: drive D"));
  EXPECT_NE(std::string::npos, ParseError("[environment]\nPath = C:\\x\n").find("path in [machine]"));
  EXPECT_NE(std::string::npos, ParseError("[environment]\nA%B = x\n").find("machine.ini:2:"));
  EXPECT_NE(std::string::npos, ParseError("[folders]\nnowhere = C:\\x\n").find("unknown folder"));
  EXPECT_NE(std::string::npos, ParseError("[machine\n").find("machine.ini:1:"));
  EXPECT_NE(std::string::npos, ParseError("[machine]\nuser = a\x01\n").find("control character"));
  EXPECT_NE(std::string::npos, ParseError("[machine]\nuser = \xC3\n").find("UTF-8"));
}

class MachineFolder : public ::testing::Test {
 protected:
  MachineFolder() {
    base_ = stdfs::temp_directory_path() / ToUtf8(::hs::testing::UniqueName("hs_machine"));
    stdfs::create_directories(base_ / "m" / "drive_c" / "Windows");
    Put("m/drive_c/Windows/notepad.exe", "x");
    Put("m/registry.reg",
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n\"Path\"=\"C:\\\\Windows\\\\notepad.exe\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Mine]\r\n");
    options_.folder = base_ / "m";
    options_.data_folder = base_ / "data" / "nested";
    options_.data_folder_of = DataFolderPath;
  }
  ~MachineFolder() override {
    std::error_code ec;
    stdfs::remove_all(base_, ec);
  }
  void Put(const std::string& rel, std::string_view content) {
    stdfs::create_directories((base_ / rel).parent_path());
    std::ofstream(base_ / rel, std::ios::binary) << content;
  }
  std::unique_ptr<PortableMachine> Load(std::string* error) { return PortableMachine::Load(options_, error); }

  stdfs::path base_;
  PortableMachine::Options options_;
};

TEST_F(MachineFolder, LoadsRegistryDrivesAndDataFolder) {
  Put("m/drive_D/readme.txt", "d");
  Put("m/machine.ini", "[machine]\nuser = kim\n[drives]\nE = cdrom\n");
  std::string error;
  auto m = Load(&error);
  ASSERT_NE(nullptr, m) << error;
  EXPECT_EQ(2u, m->snapshot_keys());

  RegKey k = 0;
  ASSERT_EQ(err::kSuccess, m->registry().Open(kHkeyLocalMachine, u"SOFTWARE\\Vendor", kKeyRead | kKeyWow64_64Key, &k));
  m->registry().Close(k);
  EXPECT_TRUE(m->wow64().IsWow64Process());

  EXPECT_TRUE(m->shell().PathFileExists(u"c:\\windows\\NOTEPAD.EXE"));
  EXPECT_TRUE(m->shell().PathFileExists(u"D:\\readme.txt")) << "drive_D is drive D:";
  EXPECT_EQ(drive_type::kCdRom, m->shell().DriveType(u"E:\\"));
  Text expanded;
  ASSERT_TRUE(m->shell().ExpandEnvironmentStrings(u"%APPDATA%", 260, &expanded).ok);
  EXPECT_EQ(u"C:\\Users\\kim\\AppData\\Roaming", expanded);

  // The data folder sits at its Windows place and lives in the host folder.
  EXPECT_EQ(u"C:\\Users\\kim\\AppData\\Roaming\\Corvanta\\HiveSweep", m->data_folder());
  EXPECT_TRUE(stdfs::is_directory(options_.data_folder)) << "created when missing";
  ASSERT_EQ(err::kSuccess, m->fs().WriteFileAtomic(m->data_folder() + u"\\results.hsw", std::vector<std::uint8_t>{1}));
  EXPECT_TRUE(stdfs::exists(options_.data_folder / "results.hsw"));
  EXPECT_FALSE(stdfs::exists(base_ / "m" / "drive_c" / "Users"));
  // The machine's own files are never written.
  EXPECT_EQ(err::kAccessDenied, m->fs().DeleteFile(u"C:\\Windows\\notepad.exe"));
  EXPECT_EQ(err::kAccessDenied, m->fs().CreateDirectories(u"C:\\Users\\kim\\AppData\\Roaming\\Other"));
  EXPECT_TRUE(stdfs::exists(base_ / "m" / "drive_c" / "Windows" / "notepad.exe"));
  // The data drive is not a drive of the machine.
  for (const Text& root : m->shell().LogicalDriveStrings()) EXPECT_NE(u'Z', root[0]) << ToUtf8(root);
}

TEST_F(MachineFolder, ProgramFolderHoldsTheLanguageFiles) {
  Put("prog/eng_hsw.ini", "[RESOURCESTRING]\r\nIDS_FONTS=Fonts\r\n");
  options_.program_folder = base_ / "prog";
  std::string error;
  auto m = Load(&error);
  ASSERT_NE(nullptr, m) << error;
  EXPECT_EQ(u"Fonts", m->program_ini().ReadString(m->program_folder() + u"eng_hsw.ini", u"RESOURCESTRING",
                                                  u"IDS_FONTS", u"", 100));
}

TEST_F(MachineFolder, UnreadableInputsAreNamed) {
  std::string error;
  options_.folder = base_ / "absent";
  EXPECT_EQ(nullptr, Load(&error));
  EXPECT_NE(std::string::npos, error.find("no such machine folder")) << error;

  options_.folder = base_ / "m";
  Put("m/machine.ini", "[machine]\nversion = 7\n");
  EXPECT_EQ(nullptr, Load(&error));
  EXPECT_NE(std::string::npos, error.find("machine.ini:2: version")) << error;

  stdfs::remove(base_ / "m" / "machine.ini");
  Put("m/registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_NOWHERE\\x]\r\n");
  EXPECT_EQ(nullptr, Load(&error));
  EXPECT_NE(std::string::npos, error.find("registry.reg:3:")) << error;

  stdfs::remove(base_ / "m" / "registry.reg");
  EXPECT_EQ(nullptr, Load(&error));
  EXPECT_NE(std::string::npos, error.find("registry.reg: cannot read")) << error;

  Put("m/registry.reg", "Windows Registry Editor Version 5.00\r\n");
  Put("m/machine.ini", std::string(kMaxMachineIniBytes + 1, ';'));
  EXPECT_EQ(nullptr, Load(&error));
  EXPECT_NE(std::string::npos, error.find("larger than")) << error;

  stdfs::remove(base_ / "m" / "machine.ini");
  Put("blocker", "a file where the data folder should be");
  options_.data_folder = base_ / "blocker" / "data";
  EXPECT_EQ(nullptr, Load(&error));
  EXPECT_NE(std::string::npos, error.find("cannot create the data folder")) << error;
}

TEST(SampleMachine, LoadsFromTheSourceTree) {
  const stdfs::path data = stdfs::temp_directory_path() / ToUtf8(::hs::testing::UniqueName("hs_sample_data"));
  PortableMachine::Options o;
  o.folder = stdfs::path(::hs::testing::SourceDir()) / "samples" / "demo-machine";
  o.data_folder = data;
  o.data_folder_of = DataFolderPath;
  std::string error;
  auto m = PortableMachine::Load(o, &error);
  ASSERT_NE(nullptr, m) << error;
  EXPECT_EQ(u"demo", m->description().user);
  EXPECT_TRUE(m->shell().PathFileExists(u"C:\\Program Files\\PhotoFix\\PhotoFix.exe"));
  EXPECT_FALSE(m->shell().PathFileExists(u"D:\\Old Disk\\scan.pfx3"));
  std::error_code ec;
  stdfs::remove_all(data, ec);
}

}  // namespace
}  // namespace hs
