// The configuration file the office-server guide tells administrators to put on each laptop,
// read by the program's own reader: the guide's text is what the program understands.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "connection/configuration.h"
#include "db/dyn_array.h"

namespace cortevane::connection {
namespace {

// The lines of the guide's here-document that writes Cortevane.ini ("<<'EOF'" to "EOF").
std::string GuideConfiguration() {
  std::ifstream guide(std::string(CORTEVANE_SOURCE_DIR) + "/docs/office-server.md");
  std::stringstream text;
  std::string line;
  bool inside = false;
  while (std::getline(guide, line)) {
    if (!inside && line.find("Cortevane.ini <<'EOF'") != std::string::npos) {
      inside = true;
    } else if (inside && line == "EOF") {
      return text.str();
    } else if (inside) {
      text << line << "\n";
    }
  }
  return "";
}

TEST(OfficeGuideTest, LaptopConfigurationNamesTheOfficeServerAndAccount) {
  const std::string text = GuideConfiguration();
  ASSERT_FALSE(text.empty()) << "no Cortevane.ini here-document in docs/office-server.md";
  const Configuration c = ParseConfiguration(ConfigurationLines(text));
  EXPECT_EQ("", ConfigurationProblem(c));
  std::string names;
  for (const auto& name : c.base_names) names += name + ";";
  EXPECT_EQ("[localhost][bureau.example.org] Portable; C:\\KESTA\\PORTABLE kesta]Bureau",
            "[" + c.W_Serveur + "][" + c.W_ServeurDistant + "] " + names + " " +
                db::ToVisible(c.W_Bases.Text()) + " " + db::ToVisible(c.W_BasesDistantes.Text()));
}

}  // namespace
}  // namespace cortevane::connection
