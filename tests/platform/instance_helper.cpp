// A second program for the single-instance tests.
//
//     kelmora_instance_helper LOCK SOCKET
//
// Takes the instance slot and prints "held PID", or prints "busy" and ends with 1. It holds the slot until it
// is killed, as a crashed instance would leave it.
#include "platform/localsingleinstance.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>

namespace {

void say(const QByteArray& line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fputs("usage: kelmora_instance_helper LOCK SOCKET\n", stderr);
        return 2;
    }
    kelmora::platform::LocalSingleInstance instance(arguments[1], arguments[2],
                                                    QStringLiteral("kelmora_instance_helper"));
    if (!instance.tryAcquire() || !instance.isHeld() || !instance.isListening()) {
        say("busy");
        return 1;
    }
    say("held " + QByteArray::number(QCoreApplication::applicationPid()));
    return QCoreApplication::exec();
}
