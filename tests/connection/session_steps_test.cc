#include "connection/session_steps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cortevane::connection {
namespace {

// Records every call made on either session, in order, as "<name>.<call>=<value>".
struct Journal {
  std::vector<std::string> calls;
  std::string Text() const {
    std::string out;
    for (const auto& call : calls) out += (out.empty() ? "" : " ") + call;
    return out;
  }
};

class RecordingSession {
 public:
  RecordingSession(std::string name, Journal& journal) : name_(std::move(name)), j_(journal) {}
  void SetAccountPath(const std::string& v) { Note("AccountPath=" + v); }
  void SetHostName(const std::string& v) { Note("HostName=" + v); }
  void SetDataBaseType(int v) { Note("DataBaseType=" + std::to_string(v)); }
  void SetUserName(const std::string& v) { Note("UserName=" + v); }
  void SetPassword(const std::string& v) { Note("Password=" + v); }
  int Connect() {
    Note("Connect");
    return 0;
  }

 private:
  void Note(const std::string& call) { j_.calls.push_back(name_ + "." + call); }
  std::string name_;
  Journal& j_;
};

Configuration ThreeLaptopBases() {
  return ParseConfiguration(
      ConfigurationLines("[SERVEUR]\nServeur=localhost\n[DISTANT SERVEUR]\nServeur2=bureau\n"
                         "[BASES]\nUn=C:\\UN\nDeux=C:\\DEUX\nTrois=C:\\TROIS\n\n"
                         "[DISTANT BASES]\nBureau=kesta_bureau\nAutre=kesta_autre\n"));
}

TEST(SessionStepsTest, BaseChoiceIsFourSettingsInOrder) {
  Journal journal;
  RecordingSession autonome("A", journal);
  RecordingSession serveur("S", journal);
  Choix_Bases(autonome, serveur, ThreeLaptopBases(), 2);
  // The third laptop base, and always the first office base.
  EXPECT_EQ(journal.Text(),
            "A.AccountPath=C:\\TROIS A.HostName=localhost "
            "S.AccountPath=kesta_bureau S.HostName=bureau");
}

TEST(SessionStepsTest, ConnectionSetsEachPropertyOnBothThenConnectsBoth) {
  Journal journal;
  RecordingSession autonome("A", journal);
  RecordingSession serveur("S", journal);
  Connection(autonome, serveur, "DUPONT ", "MoT-dE-pAsSe");
  EXPECT_EQ(journal.Text(),
            "A.DataBaseType=2 S.DataBaseType=2 A.UserName=DUPONT  S.UserName=DUPONT  "
            "A.Password=MoT-dE-pAsSe S.Password=MoT-dE-pAsSe A.Connect S.Connect");
}

}  // namespace
}  // namespace cortevane::connection
