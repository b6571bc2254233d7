#pragma once

#include <array>

namespace kelmora::app {

// The entries of the period lists, at the index stored in "Period" and given to
// model::Interval::SetCalendarPeriod. The past periods came later and sit after "All time", so settings
// stored before them keep their meaning.
inline constexpr std::array<const char*, 9> kPeriodNames{
    "This day", "This week", "This month", "This year", "All time", "Yesterday", "Last week", "Last month", "Last year",
};

} // namespace kelmora::app
