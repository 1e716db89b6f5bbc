// Run-mode detection: the flag word that tells the driver whether this run is simulated.
#pragma once

#include <stdint.h>

// Always set; nothing reads it.
inline constexpr uint32_t MODE_FLAG_BASE = 1;
// Set when "VELM_SIMULATION" is exactly "1".
inline constexpr uint32_t MODE_FLAG_SIMULATION = 2;

// An owned copy of the variable's value (release with free), or null when it is not set or the
// lookup failed; the two are not told apart.
char *dup_env_value(const char *name);

// MODE_FLAG_BASE, plus MODE_FLAG_SIMULATION in simulation mode: exactly 1 or 3. Reads the
// environment afresh on every call.
uint32_t get_mode_flags(void);
