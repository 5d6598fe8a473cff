// The engine and the codecs stay plain C++: no Qt header anywhere under them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

namespace fs = std::filesystem;

namespace {
void ExpectNoQt(const fs::path& root, bool recursive) {
  ASSERT_TRUE(fs::exists(root)) << root;
  const std::regex qt(R"(^\s*#\s*include\s*[<"](Q[A-Za-z]|qt|Qt))");
  int checked = 0;
  auto check = [&](const fs::path& p) {
    const auto ext = p.extension();
    if (ext != ".h" && ext != ".cpp" && ext != ".hpp") return;
    ++checked;
    std::ifstream f(p);
    std::string line;
    int n = 0;
    while (std::getline(f, line)) {
      ++n;
      EXPECT_FALSE(std::regex_search(line, qt)) << p << ":" << n << ": " << line;
    }
  };
  if (recursive) {
    for (auto& e : fs::recursive_directory_iterator(root)) check(e.path());
  } else {
    for (auto& e : fs::directory_iterator(root)) check(e.path());
  }
  EXPECT_GT(checked, 0) << root;
}
}  // namespace

TEST(Layering, EngineHasNoQtInclude) {
  const char* src = CORVELLE_SOURCE_DIR;
  ExpectNoQt(fs::path(src) / "engine", true);
}

TEST(Layering, PlainPlatformServicesHaveNoQtInclude) {
  const char* src = CORVELLE_SOURCE_DIR;
  for (const char* f : {"PageMemory.h", "PageMemory.cpp", "NumFormat.h", "NumFormat.cpp"}) {
    std::ifstream in(fs::path(src) / "platform" / f);
    ASSERT_TRUE(in) << f;
    std::string line;
    while (std::getline(in, line)) EXPECT_EQ(line.find("#include <Q"), std::string::npos) << f << ": " << line;
  }
}

TEST(Layering, CodecsHaveNoQtInclude) {
  const char* src = CORVELLE_SOURCE_DIR;
  const fs::path codecs = fs::path(src) / "formats";
  bool any = false;
  if (fs::exists(codecs)) {
    for (auto& e : fs::directory_iterator(codecs)) any |= e.path().extension() == ".cpp";
  }
  if (!any) GTEST_SKIP() << "no codec yet";
  ExpectNoQt(codecs, false);
}
