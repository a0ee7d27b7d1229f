#pragma once
// An instant as people outside the shop read it: the local date and time
// with the workstation's offset from UTC, "2026-12-07T14:05:37+01:00". The
// status file that monitoring reads carries its times so, and whoever reads
// them back (on this machine or another, before or after a change of
// summer time) gets the same instant.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pontex {

struct Moment {
  std::int64_t secondes = 0;  // since 1970-01-01 00:00:00 UTC
  int decalage = 0;           // seconds east of UTC of the local time shown
};

// Seconds since 1970 (UTC) now.
std::int64_t secondes_maintenant();

// The instant with the workstation's local offset at that instant (UTC when
// the system cannot convert it).
Moment moment_local(std::int64_t secondes);

// "2026-12-07T14:05:37+01:00"; "Z" is never written, "+00:00" is.
std::string format_iso8601(const Moment& m);

// The form above, "Z" for UTC accepted too; nothing for any other text.
std::optional<Moment> lit_iso8601(std::string_view texte);

}  // namespace pontex
