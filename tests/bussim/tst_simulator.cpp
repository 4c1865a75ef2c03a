// The simulated controllers: requests taken off the bus in any pieces, the
// reply bytes of each command, each fault, and the network file.
#include "network.h"
#include "options.h"
#include "requestparser.h"
#include "simulator.h"

#include "testbytes.h"
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using bussim::Fault;

namespace {
// Feeds the bytes to a parser and collects the frames they complete.
QList<bussim::Request> Parse(bussim::RequestParser &parser, const QByteArray &bytes)
{
    QList<bussim::Request> frames;
    for (char byte : bytes) {
        if (auto request = parser.feed(static_cast<quint8>(byte)))
            frames.append(*request);
    }
    return frames;
}

// The whole reply to one request, its pieces joined.
QByteArray Reply(bussim::Network &network, const QByteArray &wire)
{
    bussim::RequestParser parser;
    const auto frames = Parse(parser, wire);
    if (frames.size() != 1)
        return QByteArray("unparsed");
    bussim::Simulator simulator(network);
    QByteArray reply;
    for (const bussim::Piece &piece : simulator.respond(frames[0]).pieces)
        reply += piece.bytes;
    return reply;
}
} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT
private slots:
    void requestsInPiecesAndStuffing();
    void replies_data();
    void replies();
    void writesAreStored();
    void actionsAndSyncAreLogged();
    void faults_data();
    void faults();
    void faultCountRunsOut();
    void randomFaults_data();
    void randomFaults();
    void randomFaultOption_data();
    void randomFaultOption();
    void networkFileRoundTrip();
};

void TestSimulator::requestsInPiecesAndStuffing()
{
    bussim::RequestParser parser;
    // A stuffed write in three pieces, preceded by line noise; then a bad frame
    // and a good one back to back.
    QVERIFY(Parse(parser, Hex("55 00 F0 03")).isEmpty());
    QVERIFY(Parse(parser, Hex("02 10 F0")).isEmpty());
    const auto frames = Parse(parser, Hex("11 16 F0 9C 01 9E F0 9C 01 9D"));
    QCOMPARE(frames.size(), 3);
    QCOMPARE(frames[0].payload, (QList<int>{0x10, 0xF0}));
    QVERIFY(frames[0].checksumOk);
    QCOMPARE(frames[0].wire, Hex("F0 03 02 10 F0 11 16"));
    QVERIFY(!frames[1].checksumOk);
    QVERIFY(frames[2].checksumOk);
    // A checksum that comes to F0 is one byte, not a stuffed one.
    bussim::RequestParser second;
    const auto sync = Parse(second, Hex("F0 10 06 FF 06 21 07 45 01 02 00 00 8B"));
    QCOMPARE(sync.size(), 1);
    QVERIFY(sync[0].checksumOk);
    QCOMPARE(sync[0].payload.size(), 9);
}

void TestSimulator::replies_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("presence 9C") << Hex("F0 9C 01 9D") << Hex("F8 9C 01 9D");
    QTest::newRow("read cell") << Hex("F0 05 04 20 29") << Hex("F8 05 04 20 F0 11 2A");
    QTest::newRow("read 8 cells") << Hex("F0 05 03 1E 26")
                                  << Hex("F8 05 03 1E 00 00 F0 11 00 00 00 00 00 27");
    QTest::newRow("read register")
        << Hex("F0 9C 07 17 BA") << Hex("F8 9C 07 17 01 02 03 04 05 06 07 F0 11 D7");
    QTest::newRow("register beyond count") << Hex("F0 9C 07 18 BB") << QByteArray();
    QTest::newRow("indicator register 9") << Hex("F0 82 07 09 92") << QByteArray();
    QTest::newRow("write register")
        << Hex("F0 00 08 00 F0 11 00 00 00 00 00 00 00 09") << Hex("F8 00 01 01");
    QTest::newRow("to 10: silence") << Hex("F0 10 02 01 02 15") << QByteArray();
    QTest::newRow("no such address") << Hex("F0 55 01 56") << QByteArray();
    QTest::newRow("absent") << Hex("F0 9D 01 9E") << QByteArray();
    QTest::newRow("unknown command") << Hex("F0 05 0F 14") << QByteArray();
}

void TestSimulator::replies()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    bussim::Network network;
    network.memory(0x05)[0x20] = 0xF0;
    network.registers(0x9C)[0x17] = {1, 2, 3, 4, 5, 6, 7, 0xF0};
    network.setAbsent(0x9D, true);
    QCOMPARE(Reply(network, request), reply);
}

void TestSimulator::writesAreStored()
{
    bussim::Network network;
    QCOMPARE(Reply(network, Hex("F0 03 02 10 F0 11 16")), Hex("F8 03 01 04"));
    QCOMPARE(network.memory(0x03)[0x10], 0xF0);
    QCOMPARE(Reply(network, Hex("F0 03 06 FE 01 02 03 04 05 06 07 08 2B")), Hex("F8 03 01 04"));
    QCOMPARE(network.memory(0x03)[0xFF], 2); // eight cells wrap past FF
    QCOMPARE(network.memory(0x03)[0x05], 8);
    QCOMPARE(Reply(network, Hex("F0 98 0B 35 07 AA 89")), Hex("F8 98 01 99"));
    QCOMPARE(network.registers(0x98)[0x35][7], 0xAA);
    QCOMPARE(Reply(network, Hex("F0 9C 08 01 11 22 33 44 55 66 77 88 09")), Hex("F8 9C 01 9D"));
    QCOMPARE(network.registers(0x9C)[1],
             (bussim::Register{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
}

void TestSimulator::actionsAndSyncAreLogged()
{
    bussim::Network network;
    bussim::Simulator simulator(network);
    bussim::RequestParser parser;
    const auto frames = Parse(parser, Hex("F0 9C 0A FF F0 11 A6 F0 82 0A D0 05 61 "
                                          "F0 10 06 FF 06 21 07 45 01 02 00 00 8B"));
    QCOMPARE(frames.size(), 3);
    QCOMPARE(simulator.respond(frames[0]).event, QStringLiteral("scenario F0 played"));
    QCOMPARE(simulator.respond(frames[1]).event, QStringLiteral("task 05 run"));
    const bussim::Response sync = simulator.respond(frames[2]);
    QVERIFY(sync.pieces.isEmpty());
    QCOMPARE(sync.event, QStringLiteral("full sync: weekday 6, 21:07:45, status 01, zone 02"));
}

void TestSimulator::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<int>("secondDelay");
    // The register read F0 9C 07 05 A8, register 5 holding 01..08 and register 6 holding F0s.
    const QByteArray good = Hex("F8 9C 07 05 01 02 03 04 05 06 07 08 CC");
    QTest::newRow("silent") << "silent" << QList<QByteArray>{} << 0;
    QTest::newRow("checksum one too low")
        << "bad-checksum=255" << QList<QByteArray>{Hex("F8 9C 07 05 01 02 03 04 05 06 07 08 CB")}
        << 0;
    QTest::newRow("bad checksum") << "bad-checksum"
                                  << QList<QByteArray>{Hex(
                                         "F8 9C 07 05 01 02 03 04 05 06 07 08 CD")}
                                  << 0;
    QTest::newRow("split 5 + 8") << "split=5:gap=40"
                                 << QList<QByteArray>{good.first(5), good.sliced(5)} << 40;
    QTest::newRow("foreign") << "foreign" << QList<QByteArray>{Hex("F0 05 01 06") + good} << 0;
    QTest::newRow("other register")
        << "other-register"
        << QList<QByteArray>{Hex("F8 9C 07 06 F0 11 F0 11 F0 11 F0 11 F0 11 F0 11 F0 11 F0 11 B1")}
        << 0;
    QTest::newRow("other address")
        << "other-address" << QList<QByteArray>{Hex("F8 9D 07 05 01 02 03 04 05 06 07 08 CD")} << 0;
    QTest::newRow("reply code 06")
        << "reply-code=06" << QList<QByteArray>{Hex("F8 9C 06 05 01 02 03 04 05 06 07 08 CB")} << 0;
}

void TestSimulator::faults()
{
    QFETCH(QString, fault);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(int, secondDelay);
    bussim::Network network;
    network.registers(0x9C)[5] = {1, 2, 3, 4, 5, 6, 7, 8};
    network.registers(0x9C)[6].fill(0xF0);
    const auto parsed = bussim::ParseFault(fault);
    QVERIFY(parsed);
    QCOMPARE(bussim::FaultText(*parsed), fault);
    network.setFault(0x9C, *parsed);
    bussim::RequestParser parser;
    const auto request = Parse(parser, Hex("F0 9C 07 05 A8"));
    const bussim::Response response = bussim::Simulator(network).respond(request.value(0));
    QList<QByteArray> got;
    for (const bussim::Piece &piece : response.pieces)
        got.append(piece.bytes);
    QCOMPARE(got, pieces);
    if (pieces.size() == 2)
        QCOMPARE(response.pieces[1].delayMs, secondDelay);
}

void TestSimulator::faultCountRunsOut()
{
    bussim::Network network;
    network.addFault(0x05, *bussim::ParseFault(QStringLiteral("foreign:count=1")));
    network.addFault(0x05, *bussim::ParseFault(QStringLiteral("delay=25")));
    QCOMPARE(Reply(network, Hex("F0 05 01 06")), Hex("F0 05 01 06 F8 05 01 06"));
    bussim::RequestParser parser;
    const auto frames = Parse(parser, Hex("F0 05 01 06"));
    const bussim::Response second = bussim::Simulator(network).respond(frames.value(0));
    QCOMPARE(second.pieces.size(), 1);
    QCOMPARE(second.pieces[0].bytes, Hex("F8 05 01 06"));
    QCOMPARE(second.pieces[0].delayMs, 25);
    for (const char *bad : {"split", "silent=3", "reply-code=1FF", "louder", "delay=5:gap"})
        QVERIFY2(!bussim::ParseFault(QString::fromLatin1(bad)), bad);
}

void TestSimulator::randomFaults_data()
{
    QTest::addColumn<QString>("settings"); // as on the command line
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("least"); // replies spoiled of 1000
    QTest::addColumn<int>("most");
    const QByteArray read = Hex("F0 9C 07 05 A8");
    QTest::newRow("0 %: none") << "7:0" << read << 0 << 0;
    QTest::newRow("10 %") << "7:10" << read << 70 << 130;
    QTest::newRow("100 %: all, with short pauses") << "7:100:gap=2-4" << read << 1000 << 1000;
    QTest::newRow("presence polls: never another register")
        << "11:100" << Hex("F0 05 01 06") << 1000 << 1000;
}

// Each fault drawn is told and is what the reply shows; the same seed draws
// the same faults again, another seed others.
void TestSimulator::randomFaults()
{
    QFETCH(QString, settings);
    QFETCH(QByteArray, request);
    QFETCH(int, least);
    QFETCH(int, most);
    const auto parsed = bussim::ParseRandomFaults(settings);
    QVERIFY(parsed);
    const auto play = [&](const bussim::RandomFaultSettings &random) {
        bussim::Network network;
        network.registers(0x9C)[5] = {1, 2, 3, 4, 5, 6, 7, 8};
        network.setRandomFaults(random);
        bussim::Simulator simulator(network);
        bussim::RequestParser parser;
        const auto frame = Parse(parser, request).value(0);
        QList<bussim::Response> responses;
        for (int i = 0; i < 1000; ++i)
            responses.append(simulator.respond(frame));
        return responses;
    };
    const QList<bussim::Response> responses = play(*parsed);
    bussim::Network plain;
    plain.registers(0x9C)[5] = {1, 2, 3, 4, 5, 6, 7, 8};
    const QByteArray whole = Reply(plain, request);

    QSet<QString> kinds;
    int spoiled = 0;
    for (const bussim::Response &r : responses) {
        QByteArray sent;
        for (const bussim::Piece &piece : r.pieces)
            sent += piece.bytes;
        if (r.fault.isEmpty()) {
            QCOMPARE(sent, whole);
            continue;
        }
        ++spoiled;
        const auto fault = bussim::ParseFault(r.fault);
        QVERIFY2(fault, qPrintable(r.fault));
        kinds.insert(r.fault.section(u'=', 0, 0));
        switch (fault->kind) {
        case Fault::Kind::Silent:
            QVERIFY(r.pieces.isEmpty());
            break;
        case Fault::Kind::Split:
            QCOMPARE(r.pieces.size(), 2);
            QCOMPARE(r.pieces[0].bytes.size(), fault->value);
            QCOMPARE(r.pieces[1].delayMs, fault->gapMs);
            QVERIFY(fault->gapMs >= parsed->minGapMs && fault->gapMs <= parsed->maxGapMs);
            QCOMPARE(sent, whole);
            break;
        case Fault::Kind::Foreign:
            QCOMPARE(sent, Hex("F0 05 01 06") + whole);
            break;
        case Fault::Kind::BadChecksum:
            QCOMPARE(sent.chopped(1), whole.chopped(1));
            QCOMPARE(quint8(sent.back()), quint8(whole.back() + 1));
            break;
        case Fault::Kind::OtherRegister:
            QCOMPARE(sent.left(4), Hex("F8 9C 07 06"));
            break;
        default:
            QFAIL(qPrintable(r.fault));
        }
    }
    QVERIFY2(spoiled >= least && spoiled <= most, qPrintable(QString::number(spoiled)));
    if (least == 1000)
        QCOMPARE(kinds.size(), request.at(2) == 0x07 ? 5 : 4);

    const auto faultsOf = [](const QList<bussim::Response> &list) {
        QStringList texts;
        for (const bussim::Response &r : list)
            texts << r.fault;
        return texts;
    };
    QCOMPARE(faultsOf(play(*parsed)), faultsOf(responses));
    if (parsed->percent > 0 && parsed->percent < 100) {
        bussim::RandomFaultSettings other = *parsed;
        ++other.seed;
        QVERIFY(faultsOf(play(other)) != faultsOf(responses));
    }
}

void TestSimulator::randomFaultOption_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("percent"); // -1: refused
    QTest::addColumn<int>("minGap");
    QTest::addColumn<int>("maxGap");
    QTest::newRow("seed and percent") << "42:5" << 5 << 10 << 60;
    QTest::newRow("with pauses") << "42:5:gap=3-8" << 5 << 3 << 8;
    QTest::newRow("no percent") << "42" << -1 << 0 << 0;
    QTest::newRow("above 100 %") << "42:101" << -1 << 0 << 0;
    QTest::newRow("pauses the wrong way round") << "42:5:gap=8-3" << -1 << 0 << 0;
}

void TestSimulator::randomFaultOption()
{
    QFETCH(QString, value);
    QFETCH(int, percent);
    QFETCH(int, minGap);
    QFETCH(int, maxGap);
    bussim::Options options;
    QString error;
    const bool taken = bussim::ParseOptions(
        {QStringLiteral("bussim"), QStringLiteral("--random-faults"), value}, &options, &error);
    QCOMPARE(taken, percent >= 0);
    QCOMPARE(error.contains(QStringLiteral("--random-faults")), !taken);
    bussim::RandomFaults *random = options.network.randomFaults();
    QCOMPARE(random != nullptr, taken);
    if (random) {
        QCOMPARE(random->settings().seed, 42u);
        QCOMPARE(random->settings().percent, percent);
        QCOMPARE(random->settings().minGapMs, minGap);
        QCOMPARE(random->settings().maxGapMs, maxGap);
    }
}

void TestSimulator::networkFileRoundTrip()
{
    bussim::Network network;
    network.registers(0x9C)[23] = {0xE0, 1, 2, 3, 4, 5, 6, 0xFF};
    network.registers(0x8F)[8][3] = 0x99;
    network.memory(0x07)[255] = 0x42;
    network.setAbsent(0x9D, true);
    network.setFault(0x05, Fault{Fault::Kind::Split, 5, 40, 2});
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("network.json"));
    QString error;
    QVERIFY2(network.save(path, &error), qPrintable(error));
    bussim::Network loaded;
    QVERIFY2(loaded.load(path, &error), qPrintable(error));
    QVERIFY(loaded.sameContents(network));
    QVERIFY(loaded.find(0x9D)->absent);
    QCOMPARE(bussim::FaultText(loaded.find(0x05)->faults.value(0)),
             QStringLiteral("split=5:gap=40:count=2"));
    // A malformed entry changes nothing.
    const QByteArray bad = R"({"controllers":{"9C":{"registers":["E0 01"]}}})";
    QVERIFY(!loaded.loadJson(QJsonDocument::fromJson(bad).object(), &error));
    QVERIFY(error.contains(QStringLiteral("register 0")));
    QVERIFY(loaded.sameContents(network));
    QVERIFY(!bussim::Network().sameContents(network));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
