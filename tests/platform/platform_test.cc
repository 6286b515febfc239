// The platform layer: drive paths mapped into the drive_c folder, the login name, folder
// checks and the recursive folder copy.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/drive_mapping.h"
#include "platform/file_system.h"
#include "platform/login.h"
#include "support/temp_account.h"

namespace cortevane::platform {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

// Points CORTEVANE_DRIVE_C at a scratch folder for one test and restores it afterwards.
class DriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* v = std::getenv("CORTEVANE_DRIVE_C")) saved_ = v;
    drive_c_ = scratch_.path() / "drive_c";
    fs::create_directories(drive_c_);
    setenv("CORTEVANE_DRIVE_C", drive_c_.c_str(), 1);
  }
  void TearDown() override {
    if (saved_)
      setenv("CORTEVANE_DRIVE_C", saved_->c_str(), 1);
    else
      unsetenv("CORTEVANE_DRIVE_C");
  }
  test_support::TempFolder scratch_;
  fs::path drive_c_;
  std::optional<std::string> saved_;
};

TEST_F(DriveTest, RecognisesDrivePaths) {
  for (const char* p : {"C:\\KESTA", "c:/kesta", "C:", "D:\\", "z:\\a\\b"})
    EXPECT_TRUE(IsDrivePath(p)) << p;
  for (const char* p : {"", "C", "/home/c:", "KESTA", "CC:\\x", "1:\\x", "C:KESTA", "\\\\srv\\x"})
    EXPECT_FALSE(IsDrivePath(p)) << p;
}

TEST_F(DriveTest, MapsDrivePathsInsideTheDriveFolder) {
  EXPECT_EQ(DriveCRoot(), drive_c_);
  EXPECT_EQ(MapPath("C:\\KESTA\\DOCSCAN\\00042"), drive_c_ / "KESTA/DOCSCAN/00042");
  EXPECT_EQ(MapPath("C:/KESTA//BASE\\"), drive_c_ / "KESTA/BASE");
  EXPECT_EQ(MapPath("C:"), drive_c_);
  EXPECT_EQ(MapPath("d:\\DATA"), scratch_.path() / "drive_d/DATA");
  // Native paths stay as they are.
  EXPECT_EQ(MapPath("/srv/kesta/BASE"), fs::path("/srv/kesta/BASE"));
  EXPECT_EQ(MapPath("KESTA"), fs::path("KESTA"));
  // ".." stops at the drive's root, as on Windows: no drive path leads outside.
  EXPECT_EQ(MapPath("C:\\..\\..\\etc\\passwd"), drive_c_ / "etc/passwd");
  EXPECT_EQ(MapPath("C:\\KESTA\\.\\X\\..\\BASE"), drive_c_ / "KESTA/BASE");
}

TEST_F(DriveTest, NoDrivePathLeadsOutsideItsDriveFolder) {
  // A trailing separator on the drive folder keeps the other drives beside it.
  setenv("CORTEVANE_DRIVE_C", (drive_c_.string() + "//").c_str(), 1);
  EXPECT_EQ(MapPath("D:\\x"), scratch_.path() / "drive_d/x");
  EXPECT_EQ(MapPath("C:\\x"), drive_c_ / "x");
  setenv("CORTEVANE_DRIVE_C", drive_c_.c_str(), 1);

  // Links are followed: inside the folder they are fine, outside the path is refused.
  WriteFile(scratch_.path() / "outside/secret.txt", "secret");
  WriteFile(drive_c_ / "KESTA/doc.txt", "doc");
  fs::create_directory_symlink(scratch_.path() / "outside", drive_c_ / "dehors");
  fs::create_directory_symlink(drive_c_ / "KESTA", drive_c_ / "kesta2");
  fs::create_directory_symlink("../../outside", drive_c_ / "KESTA/relatif");
  EXPECT_EQ(MapPath("C:\\kesta2\\doc.txt"), drive_c_ / "kesta2/doc.txt");
  for (const char* p : {"C:\\dehors\\secret.txt", "C:\\dehors", "C:\\KESTA\\relatif\\new",
                        "c:\\DEHORS\\..\\dehors\\x"})
    EXPECT_EQ(MapPath(p), fs::path()) << p;
  EXPECT_FALSE(FolderExists("C:\\dehors"));
  std::string message;
  EXPECT_EQ(CopyFolder("C:\\dehors", "C:\\copie", &message), EACCES);
  EXPECT_EQ(message, "C:\\dehors: leads outside its drive's folder");
  EXPECT_EQ(CopyFolder("C:\\KESTA", "C:\\dehors\\copie", &message), EACCES);
  EXPECT_FALSE(fs::exists(scratch_.path() / "outside/copie"));
}

TEST_F(DriveTest, FindsExistingFoldersWhateverTheirLetterCase) {
  WriteFile(drive_c_ / "windows/Cortevane.ini", "[SERVEUR]\n");
  EXPECT_EQ(MapPath("C:\\WINDOWS\\CORTEVANE.INI"), drive_c_ / "windows/Cortevane.ini");
  EXPECT_TRUE(FolderExists("c:\\Windows"));
  EXPECT_FALSE(FolderExists("C:\\WINNT"));
  EXPECT_FALSE(FolderExists("C:\\windows\\Cortevane.ini"));  // a file is no folder
  EXPECT_FALSE(FolderExists(""));
  // What does not exist yet keeps the letters given.
  EXPECT_EQ(MapPath("C:\\windows\\NEW\\Sub"), drive_c_ / "windows/NEW/Sub");
}

TEST_F(DriveTest, DefaultDriveFolderIsUnderTheHomeFolder) {
  unsetenv("CORTEVANE_DRIVE_C");
  const char* home = std::getenv("HOME");
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(DriveCRoot(), fs::path(home) / ".local/share/cortevane/drive_c");
}

TEST_F(DriveTest, CopyFolderCopiesTreesAndReplacesSameNameFiles) {
  WriteFile(drive_c_ / "KESTA/DOCSCAN/00042/scan1.pdf", "new one");
  WriteFile(drive_c_ / "KESTA/DOCSCAN/00042/lettres/été.txt", "Hélène");
  WriteFile(drive_c_ / "SECTEURS/012/00042/scan1.pdf", "old one, longer than the new");
  WriteFile(drive_c_ / "SECTEURS/012/00042/kept.pdf", "kept");
  std::string message = "stale";
  ASSERT_EQ(CopyFolder("C:\\KESTA\\DOCSCAN\\00042", "C:\\SECTEURS\\012\\00042", &message), 0)
      << message;
  EXPECT_EQ(message, "");
  const fs::path to = drive_c_ / "SECTEURS/012/00042";
  EXPECT_EQ(ReadFile(to / "scan1.pdf"), "new one");
  EXPECT_EQ(ReadFile(to / "lettres/été.txt"), "Hélène");
  EXPECT_EQ(ReadFile(to / "kept.pdf"), "kept");
  // Into a folder that does not exist yet, folders above it included.
  ASSERT_EQ(CopyFolder("C:\\KESTA\\DOCSCAN\\00042", "C:\\NOUVEAU\\A\\00042"), 0);
  EXPECT_EQ(ReadFile(drive_c_ / "NOUVEAU/A/00042/lettres/été.txt"), "Hélène");
  for (const auto& entry : fs::recursive_directory_iterator(drive_c_))
    EXPECT_EQ(entry.path().string().find(".cortevane-partial"), std::string::npos);
}

TEST_F(DriveTest, CopyFolderReportsFailures) {
  std::string message;
  EXPECT_EQ(CopyFolder("C:\\KESTA\\DOCSCAN\\99999", "C:\\OUT", &message), ENOENT);
  EXPECT_NE(message.find("99999"), std::string::npos) << message;

  // A file stands where the copy needs a folder.
  WriteFile(drive_c_ / "SRC/sub/a.txt", "a");
  WriteFile(drive_c_ / "DST/sub", "I am a file");
  EXPECT_NE(CopyFolder("C:\\SRC", "C:\\DST", &message), 0);
  EXPECT_NE(message.find("sub"), std::string::npos) << message;
  EXPECT_EQ(ReadFile(drive_c_ / "DST/sub"), "I am a file");

  // A folder stands where the copy has a file.
  WriteFile(drive_c_ / "SRC2/x", "data");
  fs::create_directories(drive_c_ / "DST2/x/inside");
  EXPECT_NE(CopyFolder("C:\\SRC2", "C:\\DST2", &message), 0);
  EXPECT_TRUE(fs::is_directory(drive_c_ / "DST2/x/inside"));

  // Into itself would never end.
  EXPECT_EQ(CopyFolder("C:\\SRC", "C:\\SRC\\sub\\deeper", &message), EINVAL);
}

// Only regular files and folders are copied; links and special files are listed, never
// followed; nothing is written through a link planted at the destination, and a link or a file
// in the destination's path refuses the copy.
TEST_F(DriveTest, CopyFolderFollowsNoLink) {
  const fs::path docs = drive_c_ / "KESTA/DOCSCAN/00042";
  WriteFile(docs / "scan.pdf", "scan");
  WriteFile(docs / "sub/lettre.txt", "lettre");
  WriteFile(scratch_.path() / "outside/secret.txt", "secret");
  fs::create_symlink(scratch_.path() / "outside/secret.txt", docs / "lien.pdf");
  fs::create_directory_symlink("..", docs / "boucle");
  fs::create_symlink("../scan.pdf", docs / "sub/autre.pdf");
  ASSERT_EQ(mkfifo((docs / "tube").c_str(), 0600), 0);
  // Planted at the destination: the partial name and the document itself lead to victims.
  const fs::path share = drive_c_ / "SECTEURS/S012/00042";
  WriteFile(scratch_.path() / "victim1", "victim1");
  WriteFile(scratch_.path() / "victim2", "victim2");
  fs::create_directories(share);
  fs::create_symlink(scratch_.path() / "victim1", share / "scan.pdf.cortevane-partial");
  fs::create_symlink(scratch_.path() / "victim2", share / "scan.pdf");

  std::vector<SkippedEntry> skipped;
  std::string message;
  ASSERT_EQ(
      CopyFolder("C:\\KESTA\\DOCSCAN\\00042", "C:\\SECTEURS\\S012\\00042", &message, &skipped), 0)
      << message;
  std::string listed;
  for (const auto& e : skipped) listed += e.path + (e.kind == SkippedEntry::kLink ? "=L " : "=S ");
  EXPECT_EQ(listed, "boucle=L lien.pdf=L sub/autre.pdf=L tube=S ");
  EXPECT_EQ(ReadFile(scratch_.path() / "victim1"), "victim1");
  EXPECT_EQ(ReadFile(scratch_.path() / "victim2"), "victim2");
  EXPECT_FALSE(fs::is_symlink(share / "scan.pdf"));
  EXPECT_EQ(ReadFile(share / "scan.pdf"), "scan");
  EXPECT_EQ(ReadFile(share / "sub/lettre.txt"), "lettre");
  std::string copied;
  for (const auto& entry : fs::recursive_directory_iterator(share))
    copied += entry.path().lexically_relative(share).string() + " ";
  EXPECT_EQ(copied.size(), std::string("scan.pdf sub sub/lettre.txt ").size()) << copied;

  // A person's folder that is itself a link copies nothing.
  fs::create_directory_symlink(docs, drive_c_ / "KESTA/DOCSCAN/00043");
  skipped.clear();
  EXPECT_EQ(
      CopyFolder("C:\\KESTA\\DOCSCAN\\00043", "C:\\SECTEURS\\S012\\00043", &message, &skipped), 0);
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].path, "");
  EXPECT_FALSE(fs::exists(drive_c_ / "SECTEURS/S012/00043"));

  // A link (even one staying on the drive) or a file on the destination's path refuses it.
  fs::create_directories(drive_c_ / "AILLEURS");
  fs::create_directory_symlink(drive_c_ / "AILLEURS", drive_c_ / "SECTEURS/S014");
  EXPECT_EQ(CopyFolder("C:\\KESTA\\DOCSCAN\\00042", "C:\\SECTEURS\\S014\\00042", &message), ELOOP);
  fs::create_directories(drive_c_ / "SECTEURS/S015");
  fs::create_directory_symlink(drive_c_ / "AILLEURS", drive_c_ / "SECTEURS/S015/00042");
  EXPECT_EQ(CopyFolder("C:\\KESTA\\DOCSCAN\\00042", "C:\\SECTEURS\\S015\\00042", &message), ELOOP);
  WriteFile(drive_c_ / "SECTEURS/S016", "a file");
  EXPECT_EQ(CopyFolder("C:\\KESTA\\DOCSCAN\\00042", "C:\\SECTEURS\\S016\\00042", &message),
            ENOTDIR);
  EXPECT_TRUE(fs::is_empty(drive_c_ / "AILLEURS"));
}

// A network path lands in unc/<server>/<share> beside drive_c when that folder exists, else
// nowhere: never in a folder named after it where the program runs.
TEST_F(DriveTest, NetworkPathsNeedAMappedShare) {
  WriteFile(drive_c_ / "KESTA/DOCSCAN/00042/scan.pdf", "scan");
  const char* to = "\\\\SERVEUR\\Docs\\S012\\00042";
  for (const char* p : {"\\\\SERVEUR\\Docs", "//srv/x", "\\\\a\\b\\c"})
    EXPECT_TRUE(IsUncPath(p)) << p;
  EXPECT_EQ(MapPath(to), fs::path());
  EXPECT_FALSE(FolderExists(to));
  std::string message;
  EXPECT_EQ(CopyFolder("C:\\KESTA\\DOCSCAN\\00042", to, &message), ENXIO);
  EXPECT_EQ(message, std::string(to) + ": network share not mapped on this machine");
  EXPECT_EQ(CopyFolder("C:\\KESTA\\DOCSCAN\\00042", "S012\\00042", &message), ENXIO);
  for (const auto& entry : fs::directory_iterator(fs::current_path()))
    EXPECT_EQ(entry.path().filename().string().find('\\'), std::string::npos) << entry.path();

  const fs::path share = scratch_.path() / "unc/serveur/DOCS";  // letter case does not matter
  fs::create_directories(share);
  EXPECT_EQ(MapPath(to), share / "S012/00042");
  EXPECT_EQ(MapPath("\\\\serveur\\docs\\..\\..\\x"), share / "x");
  ASSERT_EQ(CopyFolder("C:\\KESTA\\DOCSCAN\\00042", to, &message), 0) << message;
  EXPECT_EQ(ReadFile(share / "S012/00042/scan.pdf"), "scan");
}

TEST(LoginTest, NameComesFromTheSystemWhateverItsLength) {
  std::string name = LoginName();
  ASSERT_FALSE(name.empty());
  passwd* entry = getpwuid(geteuid());
  if (entry) {
    EXPECT_EQ(name, entry->pw_name);
  }
  // A one-byte starting buffer must grow until the whole entry fits.
  EXPECT_EQ(LoginNameForUid(geteuid(), 1), name);
  EXPECT_EQ(LoginNameForUid(4000000000u, 1), "");
}

}  // namespace
}  // namespace cortevane::platform
