// Publishes one sample to the broker given as the argument, says "connected"
// on standard output, and runs until killed.
#include "publish/MqttPublisher.h"
#include "settings/KeloError.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    try {
        MqttPublisher publisher(MqttSettings{QString::fromLocal8Bit(argv[1]), {}, {}, {}, {}, {}});
        QObject::connect(&publisher, &MqttPublisher::stateChanged, [](MqttPublisher::State state, const QString&) {
            if (state == MqttPublisher::State::Connected) {
                std::puts("connected");
                std::fflush(stdout);
            }
        });
        (void)publisher.beginRun({"Probe", "1000", {{"01", "Zone", "0001", "1", "100", "0", "255"}}});
        publisher.start();
        publisher.publishSample(QDateTime::currentDateTime(), {{12.5, "12.5"}});
        return app.exec();
    } catch (const KeloError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}
