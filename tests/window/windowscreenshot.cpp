// Opens the helmdeck window on a sample optimization at its default size and
// saves a picture of it. Settings are kept in a temporary folder.
//
// Usage: helmdeck-window-screenshot OUTPUT.png [running|stopped|sweep]
//   running  interactive, 37 of 100 iterations, 12 minutes in (the default;
//            docs/helmdeck-window.png)
//   stopped  interactive, paused after a failed simulation, with a
//            stopping reason
//   sweep    view-only, three optimizations of a sweep

#include "controller/optimhelmdeckcontrollerstate.h"
#include "window/optimhelmdeckdialog.h"
#include "window/statuspanel.h"
#include "window/statusviews.h"
#include "window/windowresources.h"
#include "windowtestsupport.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: helmdeck-window-screenshot OUTPUT.png [running|stopped|sweep]\n");
        return 2;
    }
    const QString mode = argc == 3 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("running");
    IsolatedSettings settings;
    initHelmdeckResources();

    OptimHelmdeckControllerState state(mode == QLatin1String("sweep"), mode != QLatin1String("sweep"));
    QIcon icon;
    for (int size : {16, 24, 32})
        icon.addFile(QStringLiteral(":/icons/smoptimz%1").arg(size));
    auto *window = new OptimHelmdeckDialog(&state, icon);

    const SampleSize size{5, 1, 51, 10};
    std::vector<std::unique_ptr<OptimizationModelObject>> models;
    const int count = mode == QLatin1String("sweep") ? 3 : 1;
    // The elapsed clock reads 12m34s.
    QDateTime now = QDateTime(QDate(2030, 1, 1), QTime(9, 0), Qt::UTC);
    window->statusPanel()->progressView()->setClock([&now] { return now; });
    for (int m = 0; m < count; ++m) {
        auto model = std::make_unique<OptimizationModelObject>();
        OptimModelInput input = sampleModelInput(size);
        if (count > 1)
            input.algorithm().setName(QStringLiteral("Top.Sweep1[%1].Optim1").arg(m));
        model->setModelInput(input);
        window->setModel(model.get());
        state.addModel(model.get());
        const int last = m + 1 < count ? 100 : 37;
        for (int i = 0; i <= last; ++i) {
            OptimIter iteration = sampleIteration(size, i);
            if (i == 100)
                iteration.algorithm().setStatus(5);
            model->applyIteration(iteration);
        }
        models.push_back(std::move(model));
    }
    now = now.addSecs(12 * 60 + 34);
    OptimizationModelObject &current = *models.back();
    if (mode == QLatin1String("stopped")) {
        current.applyStatus(OptimStatus(3, QStringLiteral("Paused by the user after iteration 37.")));
        OptimIterSimResult failed;
        failed.iteration().algorithm().setSimulationOk(false);
        current.applySimResult(failed);
    } else {
        current.applyIteration(sampleIteration(size, 37));
    }

    window->show();
    // Let the layout settle and the animation show a frame. exit(), not
    // quit(): quit() asks the windows to close, and this one waits for a
    // controller to allow it.
    QTimer::singleShot(300, &app, [] { QCoreApplication::exit(0); });
    app.exec();
    const QPixmap picture = window->grab();
    delete window;
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
