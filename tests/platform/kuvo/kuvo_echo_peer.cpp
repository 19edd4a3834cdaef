// A second process on the bus for the KUVO tests: registers as a simulator
// ("tolvanesim" with second name "sim-<pid>") and answers what it gets.
//
//   kuvo_echo_peer SOCKET [--rendezvous]
//
// Prints "READY <address>" once registered. With --rendezvous it looks up
// "tolvane" and sends it kind 7 "OPTIM_HELMDECK_RENDEZVOUS sim-<pid>".
// Kind 9 starts a data block: the rest is taken with receiveDataBlock, then
// it replies kind 11 "STATS <chunks> <bytes> <md5 of chunk texts>" and kind 8
// "DATA_BLOCK <name>[ FAILED]". Kind 11 "QUIT" ends it; kind 8 prints
// "ACK <text>"; kinds 13 are ignored; anything else is echoed to its sender.
// It exits when the broker goes away, and after 60 s in any case.

#include "kuvo/kuvoclient.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: kuvo_echo_peer SOCKET [--rendezvous]\n");
        return 2;
    }
    const QByteArray processName = "sim-" + QByteArray::number(app.applicationPid());

    KuvoClient kuvo;
    kuvo.setTimeout(10000);
    if (!kuvo.connectToBroker(args.at(1), "tolvanesim", processName)) {
        std::fprintf(stderr, "connect failed: %s\n", qPrintable(kuvo.errorString()));
        return 2;
    }
    QObject::connect(&kuvo, &KuvoClient::disconnected, &app, [] { QCoreApplication::exit(1); });
    QTimer::singleShot(60000, &app, [] { QCoreApplication::exit(4); });

    kuvo.setHandler([&kuvo](const KuvoMessage &m) {
        switch (m.kind) {
        case 9: {
            QList<KuvoMessage> rest;
            const bool whole = kuvo.receiveDataBlock(m.sender, 100000, rest);
            QCryptographicHash md5(QCryptographicHash::Md5);
            qint64 bytes = 0;
            int chunks = 0;
            for (const KuvoMessage &r : std::as_const(rest)) {
                if (r.kind != 11)
                    continue;
                ++chunks;
                bytes += r.text.size();
                md5.addData(r.text);
            }
            kuvo.send(m.sender, 11,
                      "STATS " + QByteArray::number(chunks) + ' ' + QByteArray::number(bytes)
                          + ' ' + md5.result().toHex());
            // "DATA_BLOCK id n name...": the name follows the third word.
            const QList<QByteArray> words = m.text.split(' ');
            const QByteArray name = words.mid(3).join(' ');
            kuvo.send(m.sender, 8, "DATA_BLOCK " + name + (whole ? "" : " FAILED"));
            return true;
        }
        case 8:
            std::printf("ACK %s\n", m.text.constData());
            std::fflush(stdout);
            return true;
        case 13:
            return true;
        case 11:
            if (m.text == "QUIT") {
                QCoreApplication::exit(0);
                return true;
            }
            [[fallthrough]];
        default:
            kuvo.send(m.sender, m.kind, m.text);
            return true;
        }
    });

    std::printf("READY %d\n", kuvo.address());
    std::fflush(stdout);

    if (args.contains(QStringLiteral("--rendezvous"))) {
        int host = -1;
        if (!kuvo.lookup("tolvane", host)) {
            std::fprintf(stderr, "no tolvane on the bus\n");
            return 3;
        }
        kuvo.send(host, 7, "OPTIM_HELMDECK_RENDEZVOUS " + processName);
    }
    return app.exec();
}
