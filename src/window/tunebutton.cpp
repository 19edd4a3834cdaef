#include "tunebutton.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

TuneButton::TuneButton(QWidget *parent)
    : QToolButton(parent)
    , m_menu(new QMenu(QStringLiteral("Tuning"), this))
    , m_start(new QAction(QStringLiteral("Start &Tuning"), this))
    , m_stop(new QAction(QStringLiteral("Stop &Tuning"), this))
    , m_reset(new QAction(QStringLiteral("Reset Values"), this))
    , m_modeGroup(new QActionGroup(this))
{
    setObjectName(QStringLiteral("tuneButton"));
    m_menu->setObjectName(QStringLiteral("tuneMenu"));
    m_start->setObjectName(QStringLiteral("startTuningAction"));
    m_stop->setObjectName(QStringLiteral("stopTuningAction"));
    m_reset->setObjectName(QStringLiteral("resetTuningAction"));
    m_start->setToolTip(QStringLiteral("Pause the optimization and tune the variables"));
    m_stop->setToolTip(QStringLiteral("Stop tuning the variables"));
    m_reset->setToolTip(QStringLiteral("Set the tuned variables back to their values before tuning"));
    // The button shows the face action's icon text: keep its mnemonic (Alt+T).
    for (QAction *action : {m_start, m_stop})
        action->setIconText(action->text());

    m_menu->addAction(m_reset);
    m_menu->addSeparator();
    const char *const modeNames[] = {"tuneWhileSliderMovesAction", "tuneAfterEachChangeAction", "tuneOnRequestAction"};
    const QString modeTexts[] = {QStringLiteral("Simulate While Slider Moves"), QStringLiteral("Simulate After Each Change"),
                                 QStringLiteral("Simulate After Pressing Simulate")};
    m_modeGroup->setExclusive(true);
    for (int mode = 0; mode < 3; ++mode) {
        auto *action = new QAction(modeTexts[mode], this);
        action->setObjectName(QString::fromLatin1(modeNames[mode]));
        action->setCheckable(true);
        action->setData(mode);
        m_modeGroup->addAction(action);
        m_menu->addAction(action);
        m_modeActions.append(action);
    }

    setPopupMode(QToolButton::MenuButtonPopup);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setMenu(m_menu);

    // Each action reports itself once; the button's own triggered() is not
    // used, since it repeats the picks of its menu.
    for (QAction *action : {m_start, m_stop, m_reset})
        connect(action, &QAction::triggered, this, [this, action] { handleTuneMenu(action); });
    for (QAction *action : std::as_const(m_modeActions))
        connect(action, &QAction::triggered, this, [this, action] { handleTuneMenu(action); });

    setTuneMode(m_mode);
    updateButtonAction(false);
}

QAction *TuneButton::modeAction(int mode) const
{
    return m_modeActions.value(mode, nullptr);
}

void TuneButton::setTuneMode(OptimHelmdeckTuneMode mode)
{
    m_mode = optimHelmdeckTuneModeFromInt(int(mode));
    if (QAction *action = modeAction(int(m_mode)))
        action->setChecked(true);
}

void TuneButton::updateButtonAction(bool inTuning)
{
    m_inTuning = inTuning;
    // The face action also decides whether the button is enabled.
    m_start->setEnabled(m_tuningEnabled);
    m_stop->setEnabled(m_tuningEnabled);
    // Setting the face action again would lay out and repaint the button
    // on every model change; the action's own changes reach it anyway.
    QAction *face = inTuning ? m_stop : m_start;
    if (defaultAction() != face)
        setDefaultAction(face);
    setEnabled(m_tuningEnabled);
    m_reset->setEnabled(inTuning && m_tuningEnabled);
}

void TuneButton::setTuningEnabled(bool enabled)
{
    m_tuningEnabled = enabled;
    updateButtonAction(m_inTuning);
}

void TuneButton::handleTuneMenu(QAction *action)
{
    if (!action)
        return;
    if (action == m_start) {
        Q_EMIT startTuning();
    } else if (action == m_stop) {
        Q_EMIT stopTuning();
    } else if (action == m_reset) {
        Q_EMIT resetTuning();
    } else if (m_modeActions.contains(action)) {
        const auto mode = optimHelmdeckTuneModeFromInt(action->data().toInt());
        action->setChecked(true);
        if (mode == m_mode)
            return;
        m_mode = mode;
        Q_EMIT tuneModeChanged(mode);
    }
}
