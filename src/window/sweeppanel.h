#pragma once

// The "Sweep" panel: a pull-down with one entry per optimization of a sweep
// (or of a job with several optimizations) to choose the one on view, each
// entry with its status image, and a line that tells whether the
// simulation still runs. The window shows it once it holds two entries.

#include "panelview.h"

#include <QList>
#include <QPointer>
#include <QStringList>

class QComboBox;
class QLabel;

class SweepPanel : public PanelView
{
    Q_OBJECT

public:
    SweepPanel(OptimHelmdeckControllerState *state, QWidget *parent = nullptr);

    int count() const { return int(m_models.size()); }
    OptimizationModelObject *modelAt(int index) const;

    // The entries' texts for the models' names: each name is split into
    // components at every "." that directly follows a "]", and the
    // components all names share at the front are dropped (the last one of
    // each name always stays, so no entry is ever blank).
    static QStringList entryTexts(const QStringList &names);

Q_SIGNALS:
    void optimizationSelected(OptimizationModelObject *model);

public Q_SLOTS:
    void appendModel(OptimizationModelObject *model);

private Q_SLOTS:
    void handleIndexChange(int newIndex);
    void algorithmChanged(int modelIndex);
    void updateStatusLabel();

private:
    void updateEntryTexts();

    QLabel *m_viewLabel;
    QComboBox *m_combo;
    QLabel *m_statusLabel;
    QList<QPointer<OptimizationModelObject>> m_models;
    QStringList m_names;
};
