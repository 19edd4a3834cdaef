#include "window/optimicons.h"
#include "window/statusviews.h"
#include "window/windowresources.h"
#include "windowtestsupport.h"

#include <QLabel>
#include <QMovie>
#include <QProgressBar>
#include <QTest>

class TestStatusViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void iconTableNamesAndImages();
    void animationsAndWindowIconLoad();

    void progressValue_data();
    void progressValue();
    void progressText_data();
    void progressText();
    void elapsedTimeText_data();
    void elapsedTimeText();
    void progressViewShowsModel();
    void progressViewWithZeroOrTextLimit();
    void elapsedClockRunsOnlyWhileRunning();

    void statusIconByStatus_data();
    void statusIconByStatus();
    void sameStatusTwiceChangesNothing();
    void runningThenPausedReplacesMovie();
    void simulationIconAndBack();
    void simulationIconAndBackWithoutModel();

    void algorithmText();
    void simulationErrorNotice();
    void stoppingReason();
    void deletedModelIsDropped();

private:
    IsolatedSettings m_settings;
};

namespace {

QString labelText(QWidget *view, const char *name)
{
    auto *label = view->findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
}

} // namespace

void TestStatusViews::initTestCase()
{
    QVERIFY(m_settings.isValid());
}

void TestStatusViews::iconTableNamesAndImages()
{
    const QStringList names{"Optimizing", "Optimizing", "Paused", "Simulating", "Finished", "Finished and paused",
                            "Finished with error", "Continue", "Pause"};
    const QStringList files{"optimizationArrow.png", "optimizing.gif", "paused.gif", "simulating.gif", "finished.png",
                            "finishedAndPaused.png", "finishedWithError.png", "play.png", "pause.png"};
    for (int i = 0; i < OptimIconCount; ++i) {
        const auto icon = static_cast<OptimIcon>(i);
        QCOMPARE(optimIconName(icon), names.at(i));
        QCOMPARE(optimIconPath(icon), QStringLiteral(":/OptimHelmdeck/Resources/") + files.at(i));
        const QPixmap pixmap = optimIconPixmap(icon);
        QVERIFY2(!pixmap.isNull(), qPrintable(files.at(i)));
        QCOMPARE(pixmap.size(), QSize(32, 32));
    }
    QVERIFY(optimIconPixmap(OptimIconCount).isNull());
}

void TestStatusViews::animationsAndWindowIconLoad()
{
    initHelmdeckResources();
    for (OptimIcon icon : {OptimIconOptimizing, OptimIconSimulating}) {
        QMovie movie(optimIconPath(icon));
        QVERIFY2(movie.isValid(), qPrintable(optimIconPath(icon)));
        QVERIFY(movie.frameCount() > 1);
    }
    for (int size : {16, 24, 32}) {
        const QPixmap pixmap(QStringLiteral(":/icons/smoptimz%1").arg(size));
        QVERIFY(!pixmap.isNull());
        QCOMPARE(pixmap.size(), QSize(size, size));
    }
}

void TestStatusViews::progressValue_data()
{
    QTest::addColumn<QString>("iteration");
    QTest::addColumn<QString>("limit");
    QTest::addColumn<int>("value");
    QTest::newRow("half") << "50" << "100" << 500;
    QTest::newRow("past limit is full") << "12" << "10" << 1000;
    QTest::newRow("no limit") << "5" << "" << 0;
    QTest::newRow("no iteration") << "" << "10" << 0;
    QTest::newRow("thirds round down") << "1" << "3" << 333;
    QTest::newRow("thirds round up") << "2" << "3" << 667;
    QTest::newRow("half tenth rounds up") << "1" << "16" << 63;
    QTest::newRow("limit 0 after iterations") << "5" << "0" << 1000;
    QTest::newRow("limit 0 before iterations") << "0" << "0" << 0;
    QTest::newRow("limit not a number") << "5" << "abc" << 0;
    QTest::newRow("iteration not a number") << "abc" << "10" << 0;
    QTest::newRow("limit infinite") << "5" << "inf" << 0;
    QTest::newRow("limit nan") << "5" << "nan" << 0;
    QTest::newRow("negative iteration") << "-4" << "10" << 0;
}

void TestStatusViews::progressValue()
{
    QFETCH(QString, iteration);
    QFETCH(QString, limit);
    QFETCH(int, value);
    QCOMPARE(ProgressView::progressValue(iteration, limit), value);
}

void TestStatusViews::progressText_data()
{
    QTest::addColumn<QString>("iteration");
    QTest::addColumn<QString>("limit");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << "5" << "100" << "Iteration 5/100";
    QTest::newRow("past limit reads as limit") << "12" << "10" << "Iteration 12/12";
    QTest::newRow("no limit") << "5" << "" << "Iteration 5";
    QTest::newRow("no iteration") << "" << "10" << "";
    QTest::newRow("limit 0") << "5" << "0" << "Iteration 5/5";
    QTest::newRow("limit text kept") << "5" << "abc" << "Iteration 5/abc";
    QTest::newRow("equal") << "10" << "10" << "Iteration 10/10";
}

void TestStatusViews::progressText()
{
    QFETCH(QString, iteration);
    QFETCH(QString, limit);
    QFETCH(QString, text);
    QCOMPARE(ProgressView::progressText(iteration, limit), text);
}

void TestStatusViews::elapsedTimeText_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << qint64(0) << "0s";
    QTest::newRow("59") << qint64(59) << "59s";
    QTest::newRow("60") << qint64(60) << "1m00s";
    QTest::newRow("61") << qint64(61) << "1m01s";
    QTest::newRow("659") << qint64(659) << "10m59s";
    QTest::newRow("3599") << qint64(3599) << "59m59s";
    QTest::newRow("3600") << qint64(3600) << "1h00m00s";
    QTest::newRow("3601") << qint64(3601) << "1h00m01s";
    QTest::newRow("36671") << qint64(36671) << "10h11m11s";
    QTest::newRow("negative") << qint64(-5) << "0s";
}

void TestStatusViews::elapsedTimeText()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(ProgressView::elapsedTimeText(seconds), text);
}

void TestStatusViews::progressViewShowsModel()
{
    auto model = makeModel(AlgState{2, QStringLiteral("25"), QStringLiteral("100")});
    ProgressView view;
    view.setModel(model.get());
    QCOMPARE(labelText(&view, "progressTextLabel"), QStringLiteral("Iteration 25/100"));
    QCOMPARE(view.findChild<QProgressBar *>(QStringLiteral("progressBar"))->value(), 250);

    // An empty limit from the optimizer falls back to the algorithm's own.
    auto fallback = makeModel(AlgState{2, QStringLiteral("30"), QString()}, 2, QStringLiteral("60"));
    view.setModel(fallback.get());
    QCOMPARE(labelText(&view, "progressTextLabel"), QStringLiteral("Iteration 30/60"));
    QCOMPARE(view.findChild<QProgressBar *>(QStringLiteral("progressBar"))->value(), 500);

    view.setModel(nullptr);
    QCOMPARE(labelText(&view, "progressTextLabel"), QString());
    QCOMPARE(view.findChild<QProgressBar *>(QStringLiteral("progressBar"))->value(), 0);
}

void TestStatusViews::progressViewWithZeroOrTextLimit()
{
    ProgressView view;
    auto *bar = view.findChild<QProgressBar *>(QStringLiteral("progressBar"));

    auto zero = makeModel(AlgState{3, QStringLiteral("0"), QStringLiteral("0")}, 2, QStringLiteral("0"));
    view.setModel(zero.get());
    QCOMPARE(labelText(&view, "progressTextLabel"), QStringLiteral("Iteration 0/0"));
    QCOMPARE(bar->value(), 0);

    auto text = makeModel(AlgState{3, QStringLiteral("7"), QString()}, 2, QStringLiteral("many"));
    view.setModel(text.get());
    QCOMPARE(labelText(&view, "progressTextLabel"), QStringLiteral("Iteration 7/many"));
    QCOMPARE(bar->value(), 0);
}

void TestStatusViews::elapsedClockRunsOnlyWhileRunning()
{
    QDateTime now = QDateTime(QDate(2030, 1, 1), QTime(12, 0), Qt::UTC);
    ProgressView view;
    view.setClock([&now] { return now; });
    auto model = makeModel(AlgState{3, QStringLiteral("1")});
    view.setModel(model.get());
    QVERIFY(!view.isClockRunning());
    QCOMPARE(labelText(&view, "elapsedTimeLabel"), QStringLiteral("Elapsed time: 0s"));

    applyState(*model, AlgState{2, QStringLiteral("2")});
    QVERIFY(view.isClockRunning());
    now = now.addSecs(65);
    applyState(*model, AlgState{2, QStringLiteral("3")});
    QCOMPARE(labelText(&view, "elapsedTimeLabel"), QStringLiteral("Elapsed time: 1m05s"));

    // Paused: the clock stands still and keeps its total.
    applyState(*model, AlgState{3, QStringLiteral("3")});
    QVERIFY(!view.isClockRunning());
    now = now.addSecs(600);
    applyState(*model, AlgState{3, QStringLiteral("3")});
    QCOMPARE(labelText(&view, "elapsedTimeLabel"), QStringLiteral("Elapsed time: 1m05s"));

    applyState(*model, AlgState{2, QStringLiteral("4")});
    now = now.addSecs(3600);
    applyState(*model, AlgState{2, QStringLiteral("5")});
    QCOMPARE(view.elapsedSeconds(), qint64(3665));
    QCOMPARE(labelText(&view, "elapsedTimeLabel"), QStringLiteral("Elapsed time: 1h01m05s"));

    // Another model on view does not reset the total.
    auto other = makeModel(AlgState{3, QStringLiteral("9")});
    view.setModel(other.get());
    QVERIFY(!view.isClockRunning());
    QCOMPARE(view.elapsedSeconds(), qint64(3665));
}

void TestStatusViews::statusIconByStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("icon");
    QTest::addColumn<bool>("animated");
    QTest::newRow("initializing") << 1 << int(OptimIconOptimizing) << true;
    QTest::newRow("running") << 2 << int(OptimIconOptimizing) << true;
    QTest::newRow("paused") << 3 << int(OptimIconPaused) << false;
    QTest::newRow("finished") << 4 << int(OptimIconFinishedAndPaused) << false;
    QTest::newRow("exited") << 5 << int(OptimIconFinished) << false;
    QTest::newRow("exited with error") << 6 << int(OptimIconFinishedWithError) << false;
    QTest::newRow("killed") << 7 << int(OptimIconFinishedWithError) << false;
    QTest::newRow("unknown code") << 9 << -1 << false;
}

void TestStatusViews::statusIconByStatus()
{
    QFETCH(int, status);
    QFETCH(int, icon);
    QFETCH(bool, animated);
    auto model = makeModel(AlgState{status});
    StatusIconView view;
    view.setModel(model.get());
    QCOMPARE(view.shownIcon(), icon);
    if (animated) {
        QCOMPARE(view.movie(), view.optimizingMovie());
        QCOMPARE(view.optimizingMovie()->state(), QMovie::Running);
        QCOMPARE(view.toolTip(), QStringLiteral("Optimizing"));
    } else if (icon >= 0) {
        QVERIFY(!view.movie());
        QVERIFY(!view.pixmap().isNull());
        QCOMPARE(view.toolTip(), optimIconName(static_cast<OptimIcon>(icon)));
    } else {
        QVERIFY(!view.movie());
        QVERIFY(view.pixmap().isNull());
        QVERIFY(view.text().isEmpty());
    }
}

void TestStatusViews::sameStatusTwiceChangesNothing()
{
    auto model = makeModel(AlgState{2, QStringLiteral("1")});
    StatusIconView view;
    view.setModel(model.get());
    view.setToolTip(QStringLiteral("marker"));
    applyState(*model, AlgState{2, QStringLiteral("2")});
    QCOMPARE(view.toolTip(), QStringLiteral("marker"));
    QCOMPARE(view.movie(), view.optimizingMovie());
}

void TestStatusViews::runningThenPausedReplacesMovie()
{
    auto model = makeModel(AlgState{2});
    StatusIconView view;
    view.setModel(model.get());
    QCOMPARE(view.optimizingMovie()->state(), QMovie::Running);
    applyState(*model, AlgState{3});
    QCOMPARE(view.shownIcon(), int(OptimIconPaused));
    QVERIFY(!view.movie());
    QCOMPARE(view.optimizingMovie()->state(), QMovie::Paused);
    QCOMPARE(view.toolTip(), QStringLiteral("Paused"));
}

void TestStatusViews::simulationIconAndBack()
{
    auto model = makeModel(AlgState{3});
    StatusIconView view;
    view.setModel(model.get());
    view.setShowSimulationIcon(true);
    QCOMPARE(view.shownIcon(), int(OptimIconSimulating));
    QCOMPARE(view.movie(), view.simulatingMovie());
    QCOMPARE(view.simulatingMovie()->state(), QMovie::Running);
    QCOMPARE(view.simulatingMovie()->speed(), 150);
    QCOMPARE(view.toolTip(), QStringLiteral("Simulating"));
    // A result arriving while the simulation icon shows keeps it.
    applyState(*model, AlgState{3, QStringLiteral("4")});
    QCOMPARE(view.movie(), view.simulatingMovie());

    view.setShowSimulationIcon(false);
    QCOMPARE(view.shownIcon(), int(OptimIconPaused));
    QVERIFY(!view.movie());
    QCOMPARE(view.simulatingMovie()->state(), QMovie::Paused);
}

void TestStatusViews::simulationIconAndBackWithoutModel()
{
    StatusIconView view;
    view.setShowSimulationIcon(true);
    QCOMPARE(view.movie(), view.simulatingMovie());
    view.setShowSimulationIcon(false);
    QVERIFY(!view.movie());
    QCOMPARE(view.shownIcon(), -1);
}

void TestStatusViews::algorithmText()
{
    auto model = makeModel(AlgState{2});
    AlgorithmTextView view;
    view.setModel(model.get());
    QCOMPARE(labelText(&view, "algorithmNameLabel"), QStringLiteral("Optim1"));
    QCOMPARE(labelText(&view, "algorithmTypeLabel"), QStringLiteral("Gradient"));

    OptimAlgInput algorithm = model->model().algorithmInput();
    algorithm.setAlgorithmType(5);
    model->setAlgorithmDefinition(algorithm);
    QCOMPARE(labelText(&view, "algorithmTypeLabel"), QStringLiteral("Quasi-Newton"));
    algorithm.setAlgorithmType(0);
    model->setAlgorithmDefinition(algorithm);
    QCOMPARE(labelText(&view, "algorithmTypeLabel"), QString());
}

void TestStatusViews::simulationErrorNotice()
{
    SimulationErrorView view;
    QVERIFY(view.isHidden());
    auto model = makeModel(AlgState{3});
    view.setModel(model.get());
    QVERIFY(view.isHidden());

    OptimIterSimResult failed;
    failed.iteration().algorithm().setSimulationOk(false);
    model->applySimResult(failed);
    QVERIFY(!view.isHidden());
    QCOMPARE(labelText(&view, "simulationErrorLabel"), QStringLiteral("Simulation error"));

    applyState(*model, AlgState{3, QStringLiteral("4")});
    QVERIFY(view.isHidden());
}

void TestStatusViews::stoppingReason()
{
    auto model = makeModel(AlgState{2});
    StoppingReasonView view;
    view.setModel(model.get());
    QVERIFY(view.isHidden());

    model->applyStatus(OptimStatus(3, QStringLiteral("All goals met.")));
    QVERIFY(!view.isHidden());
    QCOMPARE(labelText(&view, "stoppingReasonCaption"), QStringLiteral("Stopping reason:"));
    QCOMPARE(labelText(&view, "stoppingReasonLabel"), QStringLiteral("All goals met."));

    model->applyStatus(OptimStatus(2, QString()));
    QVERIFY(view.isHidden());
}

void TestStatusViews::deletedModelIsDropped()
{
    auto model = makeModel(AlgState{3, QStringLiteral("4")});
    ProgressView progress;
    progress.setModel(model.get());
    QCOMPARE(labelText(&progress, "progressTextLabel"), QStringLiteral("Iteration 4/100"));
    model.reset();
    // No signal of a dead model may reach the view; a redraw shows nothing.
    QMetaObject::invokeMethod(&progress, "updateView");
    QCOMPARE(labelText(&progress, "progressTextLabel"), QString());
}

QTEST_MAIN(TestStatusViews)
#include "tst_statusviews.moc"
