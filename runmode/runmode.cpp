// Run-mode detection from the environment.
#include "runmode.h"

#include "crt.h"

char *dup_env_value(const char *name)
{
    char *value = nullptr;
    size_t size = 0;
    if (_dupenv_s(&value, &size, name) != 0)
        return nullptr;
    return value;
}

uint32_t get_mode_flags(void)
{
    char *value = dup_env_value("VELM_SIMULATION");
    if (value == nullptr)
        return MODE_FLAG_BASE;
    // Exactly "1": no trimming, no case folding, no numeric reading.
    bool simulation = value[0] == '1' && value[1] == '\0';
    free(value);
    return simulation ? MODE_FLAG_BASE | MODE_FLAG_SIMULATION : MODE_FLAG_BASE;
}
