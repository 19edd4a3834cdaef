#pragma once

// What the history graph's files share (graphwidget.cpp, graphwidgetrange.cpp,
// graphwidgetpainter.cpp): its series and the layout at one size.

#include "graphaxes.h"
#include "graphseriesdata.h"
#include "graphwidget.h"

#include <QRect>

// Where everything goes at one size.
struct GraphWidget::Layout
{
    QRect plot;
    bool xLabels = false;
    bool header = false;
    GraphScale::ValueAxis yAxis;
    GraphScale::IterationAxis xAxis;
    std::vector<GraphAxes::ValueTick> yTicks;
    int count = 0; // points of the longest series
};
