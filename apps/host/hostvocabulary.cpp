#include "hostvocabulary.h"

#include "helmdeckhost.h"
#include "hostwindow.h"
#include "moxargs.h"
#include "uiaids.h"

#include <QApplication>

#include <algorithm>

namespace {

using W = MoxWord;

} // namespace

bool registerHostVocabulary(HelmdeckHost *host)
{
    MoxInterpreter *mox = host->mox();
    const auto args = [mox](const MoxArgs *a) { return MoxArgReader(mox, a); };
    const auto str = [mox](const QString &t) { return moxvalues::string(mox, t); };
    const auto boolean = [mox](bool b) { return moxvalues::boolean(mox, b); };

    QList<MoxWord> words{
        // ---- host script functions the plug-in calls
        W::functionWord("de_register_close_addon_callback",
                        [host, args, boolean](const MoxArgs *a) -> MoxValue * {
                            MoxValue *function = args(a).function(0);
                            if (!function)
                                return boolean(false);
                            host->setCloseCallback(function);
                            return boolean(true);
                        }),
        W::functionWord("de_post_help",
                        [host, args, boolean](const MoxArgs *a) -> MoxValue * {
                            const auto topic = args(a).text(0);
                            if (!topic)
                                return boolean(false);
                            host->showHelp(QString::fromUtf8(*topic));
                            return boolean(true);
                        }),
        W::functionWord("desim_get_current_simulator_id",
                        [host, str](const MoxArgs *) -> MoxValue * {
                            return str(QString::fromLatin1(host->session()->currentSimulatorId()));
                        }),
        W::functionWord("desim_getDesimCurrFgndTopDesignName",
                        [host, str](const MoxArgs *) -> MoxValue * { return str(host->design()->designName()); }),
        W::functionWord("desim_stop_and_release_simulator",
                        [host, boolean](const MoxArgs *) -> MoxValue * { return boolean(host->stopSimulator()); }),

        // ---- design information and back annotation
        W::functionWord("deopthelmdeck_fetch_parameter_information",
                        [host, mox, args, str](const MoxArgs *a) -> MoxValue * {
                            const auto design = args(a).text(0);
                            const auto parameter = args(a).text(1);
                            DesignStore::ParameterInformation info;
                            if (design && parameter && host->design()->isDesignName(QString::fromUtf8(*design)))
                                info = host->design()->parameterInformation(QString::fromUtf8(*parameter));
                            return mox->makeList({mox->makeInteger(info.found ? 1 : 0), str(info.name), str(info.unit),
                                                  moxvalues::stringList(mox, info.values)});
                        }),
        W::functionWord("deopthelmdeck_fetch_component_information",
                        [host, mox, args](const MoxArgs *a) -> MoxValue * {
                            const auto design = args(a).text(0);
                            const auto item = args(a).text(1);
                            const auto type = args(a).text(2);
                            const bool found = design && item && type && host->design()->isDesignName(QString::fromUtf8(*design))
                                && host->design()->hasComponent(QString::fromUtf8(*item), QString::fromUtf8(*type));
                            return mox->makeList({mox->makeInteger(found ? 1 : 0)});
                        }),
        W::functionWord("deopthelmdeck_back_annotation",
                        [host, args, boolean](const MoxArgs *a) -> MoxValue * {
                            const MoxArgReader r = args(a);
                            const auto design = r.text(0);
                            const auto variables = r.flag(1);
                            const auto variableCount = r.integer(2);
                            const auto goals = r.flag(4);
                            const auto goalCount = r.integer(5);
                            const auto algorithm = r.flag(7);
                            if (!design || !variables || !variableCount || !goals || !goalCount || !algorithm)
                                return boolean(false);
                            BackAnnotationRequest request;
                            request.designName = QString::fromUtf8(*design);
                            request.variables = *variables;
                            request.variableCount = int(std::clamp<qint64>(*variableCount, 0, 1000000));
                            request.goals = *goals;
                            request.goalCount = int(std::clamp<qint64>(*goalCount, 0, 1000000));
                            request.algorithm = *algorithm;
                            return boolean(host->backAnnotate(request).ok);
                        }),

        // ---- host commands
        W::functionWord("host_open_design",
                        [host, args, boolean](const MoxArgs *a) -> MoxValue * {
                            const auto path = args(a).text(0);
                            QString error;
                            return boolean(path && host->openDesign(QString::fromUtf8(*path), &error));
                        }),
        W::functionWord("host_optimize",
                        [host, str, boolean](const MoxArgs *) -> MoxValue * {
                            QString error;
                            const QByteArray id = host->optimize(&error);
                            return id.isEmpty() ? boolean(false) : str(QString::fromLatin1(id));
                        }),
        W::functionWord("host_release_simulator",
                        [host, boolean](const MoxArgs *) -> MoxValue * { return boolean(host->releaseSimulator()); }),
        W::functionWord("host_design_value",
                        [host, args, str](const MoxArgs *a) -> MoxValue * {
                            const auto name = args(a).text(0);
                            if (!name || !host->design()->parameterInformation(QString::fromUtf8(*name)).found)
                                return nullptr;
                            return str(host->design()->variableValue(QString::fromUtf8(*name)));
                        }),
        W::functionWord("host_simulators",
                        [host, mox, str](const MoxArgs *) -> MoxValue * {
                            QList<MoxValue *> ids;
                            for (const QByteArray &id : host->session()->simulatorIds())
                                ids.append(str(QString::fromLatin1(id)));
                            return mox->makeList(ids);
                        }),
        W::functionWord("host_simulator_state",
                        [host, args, str](const MoxArgs *a) -> MoxValue * {
                            const auto id = args(a).text(0);
                            if (!id || !host->session()->hasSimulator(*id))
                                return nullptr;
                            return str(HostSession::stateText(host->session()->simulator(*id)));
                        }),
        W::functionWord("host_simulator_pid",
                        [host, mox, args](const MoxArgs *a) -> MoxValue * {
                            const auto id = args(a).text(0);
                            if (!id || !host->session()->hasSimulator(*id))
                                return nullptr;
                            const qint64 pid = host->session()->simulator(*id).pid;
                            return pid > 0 ? mox->makeInteger(pid) : nullptr;
                        }),
        W::functionWord("host_iteration_blocks",
                        [host, mox](const MoxArgs *) -> MoxValue * { return mox->makeInteger(host->iterationBlocksSeen()); }),
        W::functionWord("host_help_topic",
                        [host, str](const MoxArgs *) -> MoxValue * {
                            const QString topic = host->helpTopicShown();
                            return topic.isEmpty() ? nullptr : str(topic);
                        }),
        W::functionWord("host_quit",
                        [host, boolean](const MoxArgs *) -> MoxValue * {
                            host->requestQuit(HelmdeckHost::ExitOk);
                            return boolean(true);
                        }),

        // ---- test aids: the UI by objectName
        W::functionWord("ui_click",
                        [args, boolean](const MoxArgs *a) -> MoxValue * {
                            const auto name = args(a).text(0);
                            return boolean(name && uiaids::click(QString::fromUtf8(*name)));
                        }),
        W::functionWord("ui_text",
                        [args, str](const MoxArgs *a) -> MoxValue * {
                            const auto name = args(a).text(0);
                            QString text;
                            if (!name || !uiaids::text(QString::fromUtf8(*name), text))
                                return nullptr;
                            return str(text);
                        }),
        W::functionWord("ui_set_text",
                        [args, boolean](const MoxArgs *a) -> MoxValue * {
                            const auto name = args(a).text(0);
                            const auto text = args(a).text(1);
                            return boolean(name && text && uiaids::setText(QString::fromUtf8(*name), QString::fromUtf8(*text)));
                        }),
        W::functionWord("ui_property",
                        [args, str](const MoxArgs *a) -> MoxValue * {
                            const auto name = args(a).text(0);
                            const auto property = args(a).text(1);
                            QString value;
                            if (!name || !property
                                || !uiaids::property(QString::fromUtf8(*name), QString::fromUtf8(*property), value))
                                return nullptr;
                            return str(value);
                        }),
        W::functionWord("ui_exists",
                        [args, boolean](const MoxArgs *a) -> MoxValue * {
                            const auto name = args(a).text(0);
                            QWidget *w = name ? uiaids::findWidget(QString::fromUtf8(*name)) : nullptr;
                            return boolean(w && w->isVisible());
                        }),
        W::functionWord("ui_modal",
                        [str](const MoxArgs *) -> MoxValue * {
                            const QString name = uiaids::activeModalName();
                            return name.isEmpty() ? nullptr : str(name);
                        }),
        W::functionWord("ui_close_helmdeck",
                        [boolean](const MoxArgs *) -> MoxValue * { return boolean(uiaids::closeHelmdeckWindow()); }),
        W::functionWord("ui_screenshot",
                        [host, args, boolean](const MoxArgs *a) -> MoxValue * {
                            const auto path = args(a).text(0);
                            if (!path)
                                return boolean(false);
                            // Optionally the window that holds the widget named by argument 1.
                            const auto name = args(a).text(1);
                            QWidget *w = name ? uiaids::findWidget(QString::fromUtf8(*name)) : uiaids::helmdeckWindow();
                            if (w)
                                w = w->window();
                            else if (!name)
                                w = host->window();
                            QString error;
                            return boolean(uiaids::grabToFile(w, QString::fromUtf8(*path), &error));
                        }),
    };
    // A word called while the host is being destroyed answers nothing.
    for (MoxWord &word : words) {
        word.function = [host, function = std::move(word.function)](const MoxArgs *a) -> MoxValue * {
            return host->isClosing() ? nullptr : function(a);
        };
    }
    return mox->registerVocabulary(HelmdeckHost::kHostModule, words);
}
