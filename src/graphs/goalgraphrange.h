#pragma once

// The automatic range of a goal plot held still (GraphScale::
// keepsGoalPlotRange): the range last shown stays while each newly computed
// one lies inside it with the same swept range and at least 85 percent of
// its height; otherwise the new one is taken. While the user zooms nothing
// is held, so the automatic range starts afresh once the plot returns to it.
// A scalar goal's values lie along x: the same rule, turned.

#include "graphscale.h"

#include <optional>

class GoalPlotRangeHold
{
public:
    // The automatic range to show for the newly computed one: the held one
    // or computed; computed itself while zoomed.
    std::optional<GoalPlotRange> next(const std::optional<GoalPlotRange> &computed, bool zoomed, bool scalar);
    // Takes the next computed range as it is.
    void reset() { m_held.reset(); }

private:
    std::optional<GoalPlotRange> m_held;
};
