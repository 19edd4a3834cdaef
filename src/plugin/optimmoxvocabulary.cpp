#include "optimmoxvocabulary.h"

#include "hostifc/moxifc.h"
#include "plugin/optimhelmdeckplugin.h"
#include "units/realstring.h"

namespace {

// Argument readers: each clears ok on failure and never sets it.
QByteArray readString(MoxIFC *mox, const MoxArgs *args, int index, bool &ok)
{
    MoxValue *value = nullptr;
    QByteArray text;
    if (!mox->argumentAs(args, index, mox->stringType(), value) || !mox->readText(value, text))
        ok = false;
    mox->release(value);
    return text;
}

bool readBool(MoxIFC *mox, const MoxArgs *args, int index, bool &ok)
{
    MoxValue *value = nullptr;
    bool flag = false;
    if (!mox->argumentAs(args, index, mox->boolType(), value) || !mox->readBool(value, flag))
        ok = false;
    mox->release(value);
    return flag;
}

qint64 readInt(MoxIFC *mox, const MoxArgs *args, int index, bool &ok)
{
    MoxValue *value = nullptr;
    qint64 number = 0;
    if (!mox->argumentAs(args, index, mox->integerType(), value) || !mox->readInt(value, number))
        ok = false;
    mox->release(value);
    return number;
}

MoxValue *makeBool(MoxIFC *mox, bool value)
{
    return value ? mox->makeTrue() : mox->makeFalse();
}

} // namespace

bool registerOptimMoxVocabulary(MoxIFC *mox, OptimHelmdeckPlugin *plugin)
{
    using W = MoxWord;
    // Words whose answers are built from the design conversion answer no
    // value (or false) until that conversion is part of the plug-in.
    auto noValue = [](const MoxArgs *) -> MoxValue * { return nullptr; };
    QList<MoxWord> words{
        W::constantWord("optimHelmdeck_pluginLoaded", mox->makeInteger(1)),
        W::functionWord("optimHelmdeck_messageHandler", [mox](const MoxArgs *) { return mox->makeFalse(); }),
        W::functionWord("optimHelmdeck_okToStartNewSimulation",
                        [mox, plugin](const MoxArgs *) { return makeBool(mox, plugin->okToStartNewSimulation()); }),
        W::functionWord("optimHelmdeck_simulatorBeingClosed",
                        [mox, plugin](const MoxArgs *args) {
                            if (mox->argumentType(args, 0) == mox->stringType()) {
                                bool ok = true;
                                const QByteArray id = readString(mox, args, 0, ok);
                                const bool flag = readBool(mox, args, 1, ok);
                                if (ok)
                                    plugin->simulatorGone(id, flag);
                            }
                            return mox->makeFalse();
                        }),
        W::functionWord("optimHelmdeck_closeHelmdeck",
                        [mox, plugin](const MoxArgs *args) {
                            if (!plugin->controller())
                                return mox->makeTrue();
                            bool ok = true;
                            const bool withoutQuestions = readBool(mox, args, 0, ok);
                            const bool askOnClose = readBool(mox, args, 1, ok);
                            if (!ok)
                                return mox->makeFalse();
                            return makeBool(mox, plugin->closeHelmdeck(withoutQuestions, askOnClose));
                        }),
        W::functionWord("optimHelmdeck_variableIsValid",
                        [mox](const MoxArgs *args) {
                            bool ok = true;
                            readInt(mox, args, 0, ok);
                            return mox->makeFalse();
                        }),
        W::functionWord("optimHelmdeck_fetchVariable", noValue),
        W::functionWord("optimHelmdeck_fetchGoal", noValue),
        W::functionWord("optimHelmdeck_fetchAlgorithm", noValue),
        W::functionWord("optimHelmdeck_getGoalTableWidget", noValue),
        W::functionWord("optimHelmdeck_getGoalTableWidgetState", noValue),
        W::functionWord("optimHelmdeck_getGoalNetlist", noValue),
        W::functionWord("optimHelmdeck_valueWithUnits",
                        [mox](const MoxArgs *args) -> MoxValue * {
                            bool ok = true;
                            const QByteArray value = readString(mox, args, 0, ok);
                            const QByteArray units = readString(mox, args, 1, ok);
                            if (!ok)
                                return nullptr;
                            RealString real(QString::fromUtf8(value), QString::fromUtf8(units));
                            real.setDesiredUnits(QString::fromUtf8(units));
                            real.setAllowScaling(true);
                            if (!real.isAcceptable())
                                return nullptr;
                            return mox->makeString(real.scaledValueWithUnits(6).toUtf8());
                        }),
    };
    return mox->registerVocabulary("CmdOp", words);
}
