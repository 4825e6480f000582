// Another program keeping records beside the test's, in a process of its own. Arguments: the records
// folder, the folder, then what to do:
//   announce <count> <prefix>     announces <prefix><n> one name at a time, then ends
//   hold <pending|temporary|folder> <name> [<name>…]
//                                 records <name> so (pending: every name given) (a folder: a temporary folder made with a file
//                                 in it, as a copy on its way in), prints "ready" and waits until
//                                 its input closes
#include "Platform/safewrite/OwnRecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <thread>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc < 5)
        return 2;
    const QString records = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const QByteArray what = argv[3];
    OwnRecord record(records, folder);
    if (!record.isOpen())
        return 3;
    if (what == "announce" && argc == 6) {
        // On a thread of its own, as the program's folder writers work.
        const int count = QByteArray(argv[4]).toInt();
        int failed = 0;
        std::thread writer([&] {
            for (int n = 0; n < count; ++n)
                failed += record.announce({QByteArray(argv[5]) + QByteArray::number(n)}) ? 0 : 1;
        });
        writer.join();
        if (failed > 0)
            std::fprintf(stderr, "ownrecord_peer: %d names not announced\n", failed);
        return failed > 0 ? 4 : 0;
    }
    if (what != "hold" || argc < 6)
        return 2;
    const QByteArray kind = argv[4];
    const QByteArray name = argv[5];
    bool recorded = false;
    if (kind == "pending") {
        QList<QByteArray> names;
        for (int n = 5; n < argc; ++n)
            names.append(argv[n]);
        recorded = record.announce(names);
    } else if (kind == "temporary") {
        recorded = record.announceTemporary(name);
        QFile file(folder + u'/' + QFile::decodeName(name));
        recorded = recorded && file.open(QIODevice::WriteOnly) && file.write("half written") > 0;
    } else if (kind == "folder") {
        recorded = record.announceTemporaryFolder(name) && QDir(folder).mkdir(QFile::decodeName(name));
        QFile file(folder + u'/' + QFile::decodeName(name) + QStringLiteral("/copied.txt"));
        recorded = recorded && file.open(QIODevice::WriteOnly) && file.write("copied") > 0;
    }
    if (!recorded)
        return 4;
    std::printf("ready\n");
    std::fflush(stdout);
    char byte = 0;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}
