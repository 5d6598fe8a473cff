// A short mutation run over each codec; ./fuzz.sh runs the same targets for
// longer under libFuzzer and the sanitizers.
#include <gtest/gtest.h>

#include "fuzz/FuzzTargets.h"
#include "platform/PageMemory.h"

namespace {

class FuzzSmoke : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { PageMemory::SetLimit(std::uint64_t(256) << 20); }
  void TearDown() override { PageMemory::SetLimit(0); }
};

}  // namespace

TEST_P(FuzzSmoke, MutatedInputsNeverCrash) {
  const std::string codec = GetParam();
  const auto seeds = fuzz::Seeds(codec);
  ASSERT_FALSE(seeds.empty());
  // The seeds themselves decode into images, so the mutations start from valid files.
  for (const auto& s : seeds) EXPECT_TRUE(fuzz::Run(codec, s.data(), s.size()));
  fuzz::TMutator m{0x9E3779B97F4A7C15ull ^ std::hash<std::string>()(codec)};
  for (int i = 0; i < 20000; ++i) {
    std::vector<std::uint8_t> b = seeds[m.Next() % seeds.size()];
    const int rounds = 1 + int(m.Next() % 6);
    for (int k = 0; k < rounds; ++k) m.Mutate(b);
    fuzz::Run(codec, b.data(), b.size());
  }
}

INSTANTIATE_TEST_SUITE_P(Codecs, FuzzSmoke, ::testing::Values("fits", "kvx", "sbig", "raw"));
