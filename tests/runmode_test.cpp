// Run-mode flags over the values "VELM_SIMULATION" may hold. The asan preset's LeakSanitizer
// holds get_mode_flags to releasing its copy on every path.
#include <stdlib.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "runmode.h"

namespace {

struct mode_case {
    const char *name;
    const char *value; // null: unset
    uint32_t flags;
};

const std::string HUGE_VALUE(100000, '1');
// The flag words by value: MODE_FLAG_BASE alone, and with MODE_FLAG_SIMULATION.
const uint32_t PROBE = 1;
const uint32_t SIMULATION = 3;

const mode_case MODE_CASES[] = {
    {"unset", nullptr, PROBE},
    {"one", "1", SIMULATION},
    {"empty", "", PROBE},
    {"zero", "0", PROBE},
    {"eleven", "11", PROBE},
    {"ten", "10", PROBE},
    {"leading space", " 1", PROBE},
    {"trailing space", "1 ", PROBE},
    {"trailing newline", "1\n", PROBE},
    {"true", "true", PROBE},
    {"yes", "yes", PROBE},
    {"one, then bytes that are not UTF-8", "1\xff\xfe\xc3", PROBE},
    {"100000 ones", HUGE_VALUE.c_str(), PROBE},
};

// One call a row, in turn: an answer cached from an earlier row would show.
TEST(get_mode_flags, reads_exactly_one_as_simulation)
{
    for (const mode_case &c : MODE_CASES) {
        SCOPED_TRACE(c.name);
        if (c.value == nullptr)
            unsetenv("VELM_SIMULATION");
        else
            setenv("VELM_SIMULATION", c.value, 1);
        EXPECT_EQ(get_mode_flags(), c.flags);
    }
    unsetenv("VELM_SIMULATION");
}

TEST(dup_env_value, gives_an_owned_copy_or_null)
{
    unsetenv("AESM_TEST_VARIABLE");
    EXPECT_EQ(dup_env_value("AESM_TEST_VARIABLE"), nullptr);

    setenv("AESM_TEST_VARIABLE", "some value", 1);
    char *copy = dup_env_value("AESM_TEST_VARIABLE");
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, getenv("AESM_TEST_VARIABLE")) << "the environment's own string, not a copy";
    EXPECT_STREQ(copy, "some value");
    free(copy);

    setenv("AESM_TEST_VARIABLE", "", 1);
    copy = dup_env_value("AESM_TEST_VARIABLE");
    ASSERT_NE(copy, nullptr) << "set but empty is not unset";
    EXPECT_STREQ(copy, "");
    free(copy);
    unsetenv("AESM_TEST_VARIABLE");
}

} // namespace
