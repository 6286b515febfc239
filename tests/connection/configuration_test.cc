#include "connection/configuration.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "db/dyn_array.h"
#include "support/temp_account.h"

namespace cortevane::connection {
namespace {

// The whole outcome in one line: hosts in brackets (spaces show), the list's names, the laptop
// paths and the office entries with visible marks, and the message the file leads to.
std::string Render(const Configuration& c) {
  std::string names;
  for (const auto& name : c.base_names) names += (names.empty() ? "" : ",") + name;
  const std::string_view problem = ConfigurationProblem(c);
  return "[" + c.W_Serveur + "][" + c.W_ServeurDistant + "] names=" + names +
         " bases=" + db::ToVisible(c.W_Bases.Text()) +
         " distant=" + db::ToVisible(c.W_BasesDistantes.Text()) +
         (problem.empty() ? "" : " -> " + std::string(problem));
}

std::string Parse(std::string_view text) {
  return Render(ParseConfiguration(ConfigurationLines(text)));
}

const char kServers[] = "[SERVEUR]\nServeur=localhost\n[DISTANT SERVEUR]\nServeur2=bureau\n";

// 1. A usual file, Windows line endings.
TEST(ConfigurationTest, UsualFileWithWindowsLineEndings) {
  EXPECT_EQ(Parse("[SERVEUR]\r\nServeur=localhost\r\n\r\n[DISTANT SERVEUR]\r\n"
                  "Serveur2=bureau.example\r\n\r\n[BASES]\r\nPortable=C:\\KESTA\\BASE\r\n"
                  "Essai=C:\\KESTA\\ESSAI\r\n\r\n[DISTANT BASES]\r\nBureau=kesta_bureau\r\n"),
            "[localhost][bureau.example] names=Portable,Essai "
            "bases=C:\\KESTA\\BASE^C:\\KESTA\\ESSAI distant=kesta_bureau]Bureau");
}

// 2. Headers: server headers are found with spaces around them, bases headers only alone on
// their line, and none in another letter case.
TEST(ConfigurationTest, HeaderRecognition) {
  EXPECT_EQ(Parse("  [SERVEUR] \nServeur=portable\n [DISTANT SERVEUR]  \nDistant =bureau\n"
                  " [BASES]\nA=a\n\n[DISTANT BASES] \nB=b\n"),
            "[portable][bureau] names= bases= distant= -> " + std::string(kMissingBase));
  EXPECT_EQ(Parse("[serveur]\nServeur=portable\n[DISTANT SERVEUR]\nServeur2=bureau\n"
                  "[BASES]\nA=a\n\n[DISTANT BASES]\nB=b\n"),
            "[][bureau] names=A bases=a distant=b]B -> " + std::string(kServerProblem));
  EXPECT_EQ(Parse(std::string(kServers) + " [BASES]\nA=a\n\n[DISTANT BASES]\nB=b\n"),
            "[localhost][bureau] names= bases= distant=b]B -> " + std::string(kMissingBase));
}

// 3. Host lines: the first 8 (9) characters are skipped, the rest kept as it stands.
TEST(ConfigurationTest, HostLinesLoseTheirFirstCharacters) {
  const std::string bases = "[BASES]\nA=a\n\n[DISTANT BASES]\nB=b\n";
  EXPECT_EQ(
      Parse("[SERVEUR]\nServeur= portable \n[DISTANT SERVEUR]\nServeur2=bureau:5433\n" + bases),
      "[ portable ][bureau:5433] names=A bases=a distant=b]B");
  // Exactly the skipped length, or shorter: no host.
  EXPECT_EQ(Parse("[SERVEUR]\nServeur=\n[DISTANT SERVEUR]\nDist\n" + bases),
            "[][] names=A bases=a distant=b]B -> " + std::string(kServerProblem));
  // Characters, not bytes: "Hôte" is four characters.
  EXPECT_EQ(Parse("[SERVEUR]\nHôte su=portable\n[DISTANT SERVEUR]\nHôte bur=bureau\n" + bases),
            "[portable][bureau] names=A bases=a distant=b]B");
  // The line after a server header is its host line whatever it holds, even a header, which
  // is then also read as that header.
  EXPECT_EQ(Parse("[SERVEUR]\n[DISTANT SERVEUR]\nServeur2=bureau\n" + bases),
            "[ SERVEUR]][bureau] names=A bases=a distant=b]B");
  // A server header on the last line has no host line.
  EXPECT_EQ(Parse("[DISTANT SERVEUR]\nServeur2=bureau\n" + bases + "[SERVEUR]"),
            "[][bureau] names=A bases=a distant=b]B -> " + std::string(kServerProblem));
}

// 4. Entries: split at the first "=", nothing trimmed.
TEST(ConfigurationTest, EntriesSplitAtTheFirstEqualsSign) {
  EXPECT_EQ(Parse(std::string(kServers) +
                  "[BASES]\nPortable =C:\\A=B \n=C:\\SANS NOM\n\n[DISTANT BASES]\n"
                  "Bureau=host=1\nAutre=autre\n"),
            "[localhost][bureau] names=Portable , bases=C:\\A=B ^C:\\SANS NOM "
            "distant=host=1]Bureau^autre]Autre");
}

// 5. Where lists end: a blank line, the end of the file, or (a choice of ours) a line without
// "=", which is then read again, so a header right after a list still starts its section.
TEST(ConfigurationTest, ListsEndAtBlankLinesAndAtLinesWithoutEquals) {
  EXPECT_EQ(Parse(std::string(kServers) + "[BASES]\nA=a\n   \nB=b\n[DISTANT BASES]\nC=c"),
            "[localhost][bureau] names=A bases=a distant=c]C");
  EXPECT_EQ(Parse("[BASES]\nA=a\n[DISTANT BASES]\nC=c\n[SERVEUR]\nServeur=portable\n"
                  "[DISTANT SERVEUR]\nServeur2=bureau"),
            "[portable][bureau] names=A bases=a distant=c]C");
  EXPECT_EQ(Parse(std::string(kServers) + "[BASES]\nA=a\nnimporte quoi\nB=b\n\n[DISTANT BASES]\n"
                                          "C=c\n"),
            "[localhost][bureau] names=A bases=a distant=c]C");
}

// 6. Missing sections.
TEST(ConfigurationTest, MissingSections) {
  EXPECT_EQ(Parse(kServers),
            "[localhost][bureau] names= bases= distant= -> " + std::string(kMissingBase));
  EXPECT_EQ(Parse(std::string(kServers) + "[BASES]\nA=a\n"),
            "[localhost][bureau] names=A bases=a distant= -> " + std::string(kMissingBase));
  EXPECT_EQ(Parse(""), "[][] names= bases= distant= -> " + std::string(kServerProblem));
  EXPECT_EQ(ConfigurationProblem(Configuration{}), kServerProblem);  // unreadable file
}

// 7. A second "[BASES]" goes on after the first, so each name keeps its own path; a second
// "[DISTANT BASES]" starts again from its first entry, which replaces the earlier ones.
TEST(ConfigurationTest, RepeatedSections) {
  EXPECT_EQ(Parse(std::string(kServers) + "[BASES]\nA=a\nB=b\n\n[DISTANT BASES]\nX=x\n\n"
                                          "[BASES]\nC=c\n\n[DISTANT BASES]\nY=y\n"),
            "[localhost][bureau] names=A,B,C bases=a^b^c distant=y]Y");
  EXPECT_EQ(Parse(std::string(kServers) + "[BASES]\nA=a\n\n[DISTANT BASES]\nX=x\nZ=z\n\n"
                                          "[DISTANT BASES]\nY=y\n"),
            "[localhost][bureau] names=A bases=a distant=y]Y^z]Z");
}

// 7b. A file of tens of thousands of entries is read whole, each path in its place, an empty
// first path included (the lists are built entry after entry).
TEST(ConfigurationTest, LargeListsKeepEveryEntryInPlace) {
  constexpr int kEntries = 40000;
  std::string text = std::string(kServers) + "[BASES]\nVide=\n";
  for (int i = 2; i <= kEntries; ++i)
    text += "Base" + std::to_string(i) + "=C:\\B" + std::to_string(i) + "\n";
  text += "\n[DISTANT BASES]\n";
  for (int i = 1; i <= kEntries; ++i)
    text += "Bureau" + std::to_string(i) + "=kesta" + std::to_string(i) + "\n";
  const Configuration c = ParseConfiguration(ConfigurationLines(text));
  ASSERT_EQ(c.base_names.size(), static_cast<size_t>(kEntries));
  EXPECT_EQ(c.W_Bases.Count(), kEntries);
  EXPECT_EQ(c.W_BasesDistantes.Count(), kEntries);
  EXPECT_EQ(c.W_Bases.Field(1), "");
  EXPECT_EQ(c.W_Bases.Field(2), "C:\\B2");
  EXPECT_EQ(c.W_Bases.Field(kEntries), "C:\\B40000");
  EXPECT_EQ(c.W_BasesDistantes.Value(1, 1), "kesta1");
  EXPECT_EQ(c.W_BasesDistantes.Value(kEntries, 2), "Bureau40000");
  EXPECT_EQ(ConfigurationProblem(c), "");
}

// 8. Character sets and line endings.
TEST(ConfigurationTest, CharacterSetsAndLineEndings) {
  // Latin-1 / Windows Western bytes become UTF-8: É (0xC9), ' (0x92), œ (0x9C).
  EXPECT_EQ(ConfigurationLines("\xC9l\x92ve\r\nC\x9Cur"),
            (std::vector<std::string>{"Él’ve", "Cœur"}));
  // Valid UTF-8 stays as it is; a byte-order mark goes.
  EXPECT_EQ(ConfigurationLines("\xEF\xBB\xBF[BASES]\nÉlève=é"),
            (std::vector<std::string>{"[BASES]", "Élève=é"}));
  // CR LF, LF and a lone CR all end a line; a final line ending adds no empty line.
  EXPECT_EQ(ConfigurationLines("a\r\n\r\nb\nc\rd\r\n"),
            (std::vector<std::string>{"a", "", "b", "c", "d"}));
  EXPECT_TRUE(ConfigurationLines("").empty());
}

// 9. Where the file is looked for.
TEST(ConfigurationTest, FileInTheWindowsFolderElseWinnt) {
  test_support::TempFolder drive;
  const char* old = std::getenv("CORTEVANE_DRIVE_C");
  const std::string saved = old ? old : "";
  setenv("CORTEVANE_DRIVE_C", drive.path().c_str(), 1);
  EXPECT_EQ(ConfigurationPath(), drive.path() / "winnt" / "Cortevane.ini");
  std::filesystem::create_directories(drive.path() / "Windows");
  EXPECT_EQ(ConfigurationPath(), drive.path() / "Windows" / "Cortevane.ini");
  EXPECT_FALSE(ReadConfigurationFile(ConfigurationPath()).has_value());
  if (old) {
    setenv("CORTEVANE_DRIVE_C", saved.c_str(), 1);
  } else {
    unsetenv("CORTEVANE_DRIVE_C");
  }
}

}  // namespace
}  // namespace cortevane::connection
