#include "goalerrortextview.h"

#include "model/optimizationmodelobject.h"
#include "modelbinding.h"

#include <QHBoxLayout>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <algorithm>

GoalErrorTextView::GoalErrorTextView(QWidget *parent)
    : QWidget(parent)
    , m_caption(new QLabel(this))
    , m_value(new QLabel(this))
    , m_detail(new QLabel(this))
{
    setObjectName(QStringLiteral("goalErrorTextView"));
    m_caption->setObjectName(QStringLiteral("errorCaptionLabel"));
    m_value->setObjectName(QStringLiteral("errorValueLabel"));
    m_detail->setObjectName(QStringLiteral("errorDetailLabel"));
    QFont bold = m_value->font();
    bold.setBold(true);
    m_value->setFont(bold);
    m_value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The texts give way to a narrow panel (elided, see elide()) instead of
    // widening it or being cut off: the view's own least width lets the panel
    // be narrower than the full texts.
    setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("Best Error: 0.0...")));
    // Two lines: the texts stand on the first while they fit whole, the
    // rest moves to the second (see elide()).
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QHBoxLayout *&line : m_lines) {
        line = new QHBoxLayout;
        line->setSpacing(4);
        line->addStretch(1);
        layout->addLayout(line);
    }
    for (QLabel *label : {m_caption, m_value, m_detail})
        m_lines[0]->insertWidget(m_lines[0]->count() - 1, label);
    updateView();
}

void GoalErrorTextView::setModel(OptimizationModelObject *model)
{
    bindViewToModel(this, m_model, model, [this](OptimizationModelObject *m) {
        connect(m, &OptimizationModelObject::algorithmChanged, this, &GoalErrorTextView::updateView);
    }, OnModelDeleted::UnbindView);
    updateView();
}

void GoalErrorTextView::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    updateView();
}

QString GoalErrorTextView::text() const
{
    QStringList parts;
    if (!m_caption->text().isEmpty())
        parts << m_caption->text();
    if (!m_value->isHidden() && !m_valueText.isEmpty())
        parts << m_valueText;
    if (!m_detail->isHidden() && !m_detailText.isEmpty())
        parts << m_detailText;
    return parts.join(QLatin1Char(' '));
}

void GoalErrorTextView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    elide();
}

void GoalErrorTextView::elide()
{
    // Each text stays on the first line while it fits there whole, else it
    // starts the second line; what the second line cannot hold is elided
    // (the tooltip has it all).
    const int width = contentsRect().width();
    const int gap = m_lines[0]->spacing();
    QLabel *const labels[] = {m_caption, m_value, m_detail};
    const QString texts[] = {m_caption->text(), m_valueText, m_detailText};
    int lineOf[3] = {0, 0, 0};
    int line = 0;
    int used = 0;
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && texts[i].isEmpty())
            continue;
        const QFontMetrics fm = labels[i]->fontMetrics();
        const int lead = used > 0 ? gap : 0;
        if (line == 0 && used > 0 && used + lead + fm.horizontalAdvance(texts[i]) + 2 > width) {
            line = 1;
            used = 0;
        }
        lineOf[i] = line;
        const int room = std::max(0, width - used - (used > 0 ? gap : 0));
        const QString shown = i == 0 ? texts[i] : fm.elidedText(texts[i], Qt::ElideRight, room);
        if (i > 0)
            labels[i]->setText(shown);
        used += (used > 0 ? gap : 0) + fm.horizontalAdvance(shown) + 2;
    }
    bool moved = false;
    for (int i = 0; i < 3; ++i)
        moved = moved || m_lines[lineOf[i]]->indexOf(labels[i]) < 0;
    if (!moved)
        return;
    for (int i = 0; i < 3; ++i) {
        m_lines[0]->removeWidget(labels[i]);
        m_lines[1]->removeWidget(labels[i]);
    }
    for (int i = 0; i < 3; ++i)
        m_lines[lineOf[i]]->insertWidget(m_lines[lineOf[i]]->count() - 1, labels[i]);
}

void GoalErrorTextView::updateView()
{
    const bool known = m_model && !(m_model->model().algorithmHistory().isEmpty()
                                    && m_model->model().algorithmOutput().errorText().isEmpty());
    if (!known) {
        m_caption->setText(QStringLiteral("Error not calculated yet"));
        m_valueText.clear();
        m_detailText.clear();
        m_value->clear();
        m_value->hide();
        m_detail->hide();
        return;
    }
    const OptimAlgOutput &out = m_model->model().algorithmOutput();
    const bool best = out.isBestError();
    m_caption->setText(best ? QStringLiteral("Best Error: ") : QStringLiteral("Error: "));
    m_valueText = out.errorText();
    m_value->setVisible(true);
    // The detail is shown as it comes, except where it only repeats the value
    // (the value already begins with it).
    const QString detail = out.errorDetail().trimmed();
    const bool repeats = detail == m_valueText.trimmed() || m_valueText.startsWith(detail + QLatin1Char(' '));
    m_detailText = best && !repeats ? out.errorDetail() : QString();
    m_detail->setVisible(!m_detailText.isEmpty());
    QString tip = text();
    if (m_stale)
        tip += QStringLiteral("\nThe error belongs to values that are no longer current.");
    setToolTip(tip);
    elide();
    m_value->setEnabled(!m_stale);
    m_detail->setEnabled(!m_stale);
}
