// The campus service on an MQTT broker with 200 rooms, each a pseudo-terminal
// behind one ser2net (one connection per room), Debian's mosquitto on
// loopback, each figure beside its reference in the same run:
//  - connecting to all 4,800 discovery entries (and the states and the room
//    list) acknowledged by the broker, beside a plain libmosquitto client
//    publishing the same entries;
//  - 100 commands a second for 30 s across the rooms, published by a plain
//    libmosquitto client: every byte exactly once, in order per room, and
//    publish to byte on the pty (median, p99), beside a plain mosquitto_sub
//    that writes each payload itself to a pty of its own.
#include "Mosquitto.h"
#include "Pty.h"
#include "Ser2netRooms.h"
#include "serve/rooms/Campus.h"
#include "serve/mqtt/MqttBridge.h"
#include "serve/mqtt/MqttDiscovery.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QThread>

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

namespace
{
using Clock = std::chrono::steady_clock;
constexpr int kRooms = 200;
constexpr int kPerSecond = 100;
constexpr int kSeconds = 30;

// A plain libmosquitto client on its own thread, counting acknowledgements.
struct PlainClient {
    mosquitto* m = mosquitto_new(nullptr, true, this);
    std::atomic_int acknowledged{0};

    bool connect(quint16 port)
    {
        mosquitto_publish_callback_set(m, [](mosquitto*, void* self, int) {
            ++static_cast<PlainClient*>(self)->acknowledged;
        });
        return mosquitto_connect(m, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
               mosquitto_loop_start(m) == MOSQ_ERR_SUCCESS;
    }
    void publish(const QString& topic, const QByteArray& payload, int qos, bool retain)
    {
        mosquitto_publish(m, nullptr, topic.toUtf8().constData(), int(payload.size()),
                          payload.constData(), qos, retain);
    }
    ~PlainClient()
    {
        mosquitto_disconnect(m);
        mosquitto_loop_stop(m, false);
        mosquitto_destroy(m);
    }
};

// Runs the event loop until `done` or `ms` passed; false on the time-out.
bool runUntil(const std::function<bool()>& done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules("lumo.*.info=false");
    mosquitto_lib_init();
    Mosquitto broker;
    if (!broker.start()) {
        std::fprintf(stderr, "mosquitto: %s\n", qPrintable(broker.error()));
        return 1;
    }
    std::vector<std::unique_ptr<Pty>> ptys;
    for (int i = 0; i <= kRooms; ++i) // the last one is the reference's
        ptys.push_back(std::make_unique<Pty>());
    Ser2netRooms servers;
    if (!servers.start(ptys, kRooms)) {
        std::fprintf(stderr, "ser2net did not serve %d rooms\n", kRooms);
        return 1;
    }
    QList<RoomConfig> rooms;
    for (int i = 0; i < kRooms; ++i)
        rooms.append({QString("r%1").arg(i, 3, 10, QChar('0')), QString("教学楼 %1").arg(i),
                      servers.url(std::size_t(i))});
    Campus campus(rooms);
    MqttConfig mqtt;
    mqtt.Set("broker", QString("mqtt://127.0.0.1:%1").arg(broker.port()));
    mqtt.clientId = "bench";

    // Discovery: the service, then the same entries from a plain client.
    QElapsedTimer timer;
    timer.start();
    MqttBridge bridge(campus, mqtt);
    bool announced = false;
    QObject::connect(&bridge, &MqttBridge::announced, [&] { announced = true; });
    if (!runUntil([&] { return announced; }, 120000)) {
        std::fprintf(stderr, "the discovery entries were never all acknowledged\n");
        return 1;
    }
    const double lumoAnnounce = double(timer.nsecsElapsed()) / 1e6;
    int entries = 0;
    timer.restart();
    {
        PlainClient plain;
        if (!plain.connect(broker.port()))
            return 1;
        for (const RoomConfig& room : rooms)
            for (const auto& [topic, payload] : MqttDiscovery::Entries(mqtt, room)) {
                plain.publish("reference/" + topic, payload, 1, true);
                ++entries;
            }
        if (!runUntil([&] { return plain.acknowledged == entries; }, 120000))
            return 1;
    }
    const double plainAnnounce = double(timer.nsecsElapsed()) / 1e6;

    // The reference: mosquitto_sub writing each payload to its own pty.
    QProcess sub;
    sub.setStandardOutputFile(ptys.back()->slavePath());
    sub.start("mosquitto_sub", {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-t",
                                "reference/command", "-F", "%p"});
    PlainClient publisher;
    if (!publisher.connect(broker.port()))
        return 1;
    const bool subscribed = runUntil(
        [&] {
            publisher.publish("reference/command", "x", 0, false);
            QThread::msleep(20);
            return ptys.back()->readAvailable(0).contains('x');
        },
        10000);
    if (!subscribed) {
        std::fprintf(stderr, "mosquitto_sub never wrote to its pty\n");
        return 1;
    }
    ptys.back()->readAvailable(200);

    // One phase: 100 commands a second over `used` rooms, room after room,
    // each also to the reference; every byte with its time of arrival, read
    // on a thread of its own, each room's letters in the order published,
    // each exactly once.
    struct Figures {
        std::vector<double> lumo, reference;
        int faults = 0;
    };
    const auto phase = [&](int used, int seconds) {
        const int count = kPerSecond * seconds;
        std::vector<std::vector<std::pair<char, Clock::time_point>>> arrived(ptys.size());
        std::atomic_bool reading{true};
        std::thread reader([&] {
            std::vector<pollfd> fds;
            for (const auto& pty : ptys)
                fds.push_back({pty->masterFd(), POLLIN, 0});
            char buffer[256];
            while (reading) {
                if (::poll(fds.data(), nfds_t(fds.size()), 50) <= 0)
                    continue;
                const auto now = Clock::now();
                for (std::size_t i = 0; i < fds.size(); ++i)
                    if (fds[i].revents & POLLIN)
                        for (ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer), k = 0; k < n;
                             ++k)
                            if (buffer[k] != '\n')
                                arrived[i].push_back({buffer[k], now});
            }
        });
        const auto size = static_cast<std::size_t>(count);
        std::vector<Clock::time_point> sentAt(size), referenceAt(size);
        std::atomic_bool publishing{true};
        std::thread pacer([&] {
            const auto start = Clock::now();
            for (int k = 0; k < count; ++k) {
                std::this_thread::sleep_until(start +
                                              std::chrono::microseconds(k * 1000000 / kPerSecond));
                const QByteArray letter(1, char('a' + k % 23));
                sentAt[std::size_t(k)] = Clock::now();
                publisher.publish(mqtt.RoomTopic(rooms[k % used].id, "command"), letter, 0, false);
                referenceAt[std::size_t(k)] = Clock::now();
                publisher.publish("reference/command", letter, 0, false);
            }
            publishing = false;
        });
        runUntil([&] { return !publishing; }, (seconds + 30) * 1000);
        pacer.join();
        runUntil([] { return false; }, 5000); // the last bytes, and any repeated ones
        reading = false;
        reader.join();

        Figures f;
        for (int room = 0; room <= kRooms; ++room) {
            const bool ref = room == kRooms;
            const auto& got = arrived[std::size_t(room)];
            std::size_t next = 0;
            for (int k = ref ? 0 : room; k < count && (ref || room < used); k += ref ? 1 : used) {
                const char letter = char('a' + k % 23);
                if (next >= got.size() || got[next].first != letter) {
                    ++f.faults;
                    continue;
                }
                (ref ? f.reference : f.lumo)
                    .push_back(ms(got[next].second - (ref ? referenceAt : sentAt)[std::size_t(k)]));
                ++next;
            }
            f.faults += int(got.size() - next); // repeated or stray
        }
        return f;
    };
    const Figures all = phase(kRooms, kSeconds);
    // The same over 10 rooms: each line stays open between its commands.
    const Figures open = phase(10, 10);
    sub.terminate();
    sub.waitForFinished(3000);

    std::printf("mosquitto on 127.0.0.1, %d rooms behind one ser2net, %d commands at %d/s\n\n",
                kRooms, kPerSecond * kSeconds, kPerSecond);
    std::printf("%-46s %10s %10s %8s\n", "figure", "Lumo", "reference", "ratio");
    std::printf("%-46s %10.1f %10.1f %7.2fx  (%d entries; plain libmosquitto client)\n",
                "connect to all discovery entries acked (ms)", lumoAnnounce, plainAnnounce,
                lumoAnnounce / plainAnnounce, entries);
    const auto latency = [](const char* what, const Figures& f) {
        const double lm = percentile(f.lumo, 0.5), rm = percentile(f.reference, 0.5);
        const double lp = percentile(f.lumo, 0.99), rp = percentile(f.reference, 0.99);
        std::printf("%-46s %10.2f %10.2f %7.2fx  (mosquitto_sub writing the byte)\n",
                    (what + std::string(", median (ms)")).c_str(), lm, rm, lm / rm);
        std::printf("%-46s %10.2f %10.2f %7.2fx\n", (what + std::string(", p99 (ms)")).c_str(), lp,
                    rp, lp / rp);
        std::printf("%-46s %10zu %10zu\n", "  bytes exactly once, in order", f.lumo.size(),
                    f.reference.size());
    };
    latency("publish to byte, 200 rooms", all);
    latency("publish to byte, 10 rooms (lines kept open)", open);
    if (all.faults || open.faults) {
        std::fprintf(stderr, "%d byte(s) lost, repeated or out of order\n",
                     all.faults + open.faults);
        return 1;
    }
    return 0;
}
