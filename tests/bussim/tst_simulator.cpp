// The simulated controllers: requests taken off the bus, the reply bytes and
// events of each command, each fault, the command-line
// options, and the network file.
#include "hextext.h"
#include "network.h"
#include "networktable.h"
#include "options.h"
#include "requestparser.h"
#include "simulator.h"

#include "testbytes.h"
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using bussim::Fault;
using namespace Qt::StringLiterals;

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

// What a response puts on the bus: each piece in hex, after its pause in ms.
QString Shown(const bussim::Response &response)
{
    QStringList pieces;
    for (const bussim::Piece &piece : response.pieces)
        pieces << QString::number(piece.delayMs) + u' ' + QString::fromLatin1(piece.bytes.toHex());
    return pieces.join(u" | ");
}

// The register read F0 9C 07 05 A8 on a network whose register 9C/5 holds 01..08.
bussim::Network NetworkWithRegister5()
{
    bussim::Network network;
    network.registers(0x9C)[5] = {1, 2, 3, 4, 5, 6, 7, 8};
    return network;
}
const QByteArray Read5 = Hex("F0 9C 07 05 A8");
} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT
private slots:
    void replies_data();
    void replies();
    void randomFaults_data();
    void randomFaults();
    void options_data();
    void options();
    void networkFiles_data();
    void networkFiles();
    void networkFileRoundTrip();
};

// Each row spoils controller 9C with its faults, in order, and gives the
// requests one simulator answers in turn; the last answers and the event of
// the last one are checked.
void TestSimulator::replies_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QByteArray>("requests");
    QTest::addColumn<QStringList>("shown"); // answers to the last requests, as Shown() has them
    QTest::addColumn<QString>("event");
    // One piece at its pause; none when the bytes are empty.
    const auto piece = [](int pause, const char *bytes) {
        return *bytes ? QString::number(pause) + u' ' + QString::fromLatin1(Hex(bytes).toHex())
                      : QString();
    };
    const auto row = [&](const char *name, const char *requests, const char *reply,
                         const QString &event = {}) {
        QTest::newRow(name) << QStringList() << Hex(requests) << QStringList{piece(0, reply)}
                            << event;
    };
    row("presence 9C", "F0 9C 01 9D", "F8 9C 01 9D");
    row("read cell", "F0 05 04 20 29", "F8 05 04 20 F0 11 2A");
    row("read 8 cells", "F0 05 03 1E 26", "F8 05 03 1E 00 00 F0 11 00 00 00 00 00 27");
    row("read register", "F0 9C 07 17 BA", "F8 9C 07 17 01 02 03 04 05 06 07 F0 11 D7");
    row("register beyond count", "F0 9C 07 18 BB", "");
    row("indicator register 9", "F0 82 07 09 92", "");
    row("write register", "F0 00 08 00 F0 11 00 00 00 00 00 00 00 09", "F8 00 01 01");
    row("after line noise a stuffed cell written, a bad frame, the cell read back",
        "55 00 F0 03 02 10 F0 11 16 F0 9C 01 9E F0 03 04 10 17", "F8 03 04 10 F0 11 18");
    row("a stuffing byte 22 counted as it stands", "F0 03 02 10 F0 22 27 F0 03 04 10 17",
        "F8 03 04 10 F0 11 18");
    row("eight cells wrap past FF, read back",
        "F0 03 06 FE 01 02 03 04 05 06 07 08 2B F0 03 03 FE 04",
        "F8 03 03 FE 01 02 03 04 05 06 07 08 28");
    row("one register cell written, read back", "F0 98 0B 35 07 AA 89 F0 98 07 35 D4",
        "F8 98 07 35 00 00 00 00 00 00 00 AA 7E");
    row("scenario played", "F0 9C 0A FF F0 11 A6", "F8 9C 01 9D", u"scenario F0 played"_s);
    row("indicator task run", "F0 82 0A D0 05 61", "F8 82 01 83", u"task 05 run"_s);
    row("full sync: silence, clock logged", "F0 10 06 FF 06 21 07 45 01 02 00 00 8B", "",
        u"full sync: weekday 6, 21:07:45, status 01, zone 02"_s);
    row("status and zone sync", "F0 10 02 01 02 15", "",
        u"status and zone sync: zone 01, status 02"_s);
    row("no such address", "F0 55 01 56", "");
    row("absent", "F0 9D 01 9E", "");
    row("unknown command", "F0 05 0F 14", "");
    row("bad checksum", "F0 9C 01 9E", "");

    // Faults: the answers to three reads of register 5, which holds 01..08.
    const QByteArray read5Thrice = Read5 + Read5 + Read5;
    const auto fault = [&](const char *name, const QStringList &faults, const QStringList &shown) {
        QTest::newRow(name) << faults << read5Thrice << shown << QString();
    };
    // The same answer, at once, to each of the three reads.
    const auto thrice = [&](const char *bytes) {
        return QStringList(3, piece(0, bytes));
    };
    const char *good = "F8 9C 07 05 01 02 03 04 05 06 07 08 CC";
    fault("silent", {u"silent"_s}, QStringList(3, QString()));
    fault("checksum one too low", {u"bad-checksum=255"_s},
          thrice("F8 9C 07 05 01 02 03 04 05 06 07 08 CB"));
    fault("bad checksum", {u"bad-checksum"_s}, thrice("F8 9C 07 05 01 02 03 04 05 06 07 08 CD"));
    fault("split 5 + 8", {u"split=5:gap=40"_s},
          QStringList(3, piece(0, "F8 9C 07 05 01") + u" | "_s +
                             piece(40, "02 03 04 05 06 07 08 CC")));
    fault("foreign once, late always", {u"foreign:count=1"_s, u"delay=25"_s},
          {piece(25, "F0 05 01 06 F8 9C 07 05 01 02 03 04 05 06 07 08 CC"), piece(25, good),
           piece(25, good)});
    fault("other register", {u"other-register"_s},
          thrice("F8 9C 07 06 F0 11 F0 11 F0 11 F0 11 F0 11 F0 11 F0 11 F0 11 B1"));
    fault("other address", {u"other-address"_s}, thrice("F8 9D 07 05 01 02 03 04 05 06 07 08 CD"));
    fault("pauses of a minute at most, however many delays",
          {u"delay=60000"_s, u"delay=60000"_s, u"split=5:gap=60000"_s},
          QStringList(3, piece(60000, "F8 9C 07 05 01") + u" | "_s +
                             piece(60000, "02 03 04 05 06 07 08 CC")));
    fault("reply code 06, twice", {u"reply-code=06:count=2"_s},
          {piece(0, "F8 9C 06 05 01 02 03 04 05 06 07 08 CB"),
           piece(0, "F8 9C 06 05 01 02 03 04 05 06 07 08 CB"), piece(0, good)});
}

void TestSimulator::replies()
{
    QFETCH(QStringList, faults);
    QFETCH(QByteArray, requests);
    QFETCH(QStringList, shown);
    QFETCH(QString, event);
    bussim::Network network = NetworkWithRegister5();
    network.registers(0x9C)[6].fill(0xF0);
    network.memory(0x05)[0x20] = 0xF0;
    network.registers(0x9C)[0x17] = {1, 2, 3, 4, 5, 6, 7, 0xF0};
    network.setAbsent(0x9D, true);
    for (const QString &text : faults) {
        const auto fault = bussim::ParseFault(text);
        QVERIFY(fault);
        QCOMPARE(bussim::FaultText(*fault), text);
        network.addFault(0x9C, *fault);
    }
    bussim::Simulator simulator(network);
    bussim::RequestParser parser;
    QStringList got;
    bussim::Response last;
    for (const bussim::Request &request : Parse(parser, requests))
        got << Shown(last = simulator.respond(request));
    QCOMPARE(got.mid(got.size() - shown.size()), shown);
    QCOMPARE(last.event, event);
}

void TestSimulator::randomFaults_data()
{
    QTest::addColumn<QString>("settings"); // as on the command line
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("least"); // replies spoiled of 1000
    QTest::addColumn<int>("most");
    QTest::addColumn<int>("kinds"); // of faults drawn
    QTest::newRow("0 %: none") << u"7:0"_s << Read5 << 0 << 0 << 0;
    QTest::newRow("10 %") << u"7:10"_s << Read5 << 70 << 130 << 5;
    QTest::newRow("100 %: all, with short pauses")
        << u"7:100:gap=2-4"_s << Read5 << 1000 << 1000 << 5;
    QTest::newRow("presence polls: never another register")
        << u"11:100"_s << Hex("F0 05 01 06") << 1000 << 1000 << 4;
}

// Each fault drawn is told, and the reply is what that fault set by hand
// gives; the same seed draws the same faults again, another seed others.
void TestSimulator::randomFaults()
{
    QFETCH(QString, settings);
    QFETCH(QByteArray, request);
    QFETCH(int, least);
    QFETCH(int, most);
    QFETCH(int, kinds);
    const auto parsed = bussim::ParseRandomFaults(settings);
    QVERIFY(parsed);
    bussim::RequestParser parser;
    const bussim::Request frame = Parse(parser, request).value(0);
    const auto play = [&](const bussim::RandomFaultSettings &random) {
        bussim::Network network = NetworkWithRegister5();
        network.setRandomFaults(random);
        bussim::Simulator simulator(network);
        QList<bussim::Response> responses;
        for (int i = 0; i < 1000; ++i)
            responses.append(simulator.respond(frame));
        return responses;
    };
    const QList<bussim::Response> responses = play(*parsed);
    QSet<QString> drawn;
    for (const bussim::Response &r : responses) {
        bussim::Network fixed = NetworkWithRegister5();
        if (!r.fault.isEmpty()) {
            const auto fault = bussim::ParseFault(r.fault);
            QVERIFY2(fault, qPrintable(r.fault));
            drawn.insert(r.fault.section(u'=', 0, 0));
            if (fault->kind == Fault::Kind::Split)
                QVERIFY(r.pieces.size() == 2 && fault->gapMs >= parsed->minGapMs &&
                        fault->gapMs <= parsed->maxGapMs);
            fixed.setFault(frame.address, *fault);
        }
        QCOMPARE(Shown(r), Shown(bussim::Simulator(fixed).respond(frame)));
    }
    const auto spoiled = std::ranges::count_if(
        responses, [](const bussim::Response &r) { return !r.fault.isEmpty(); });
    QVERIFY2(spoiled >= least && spoiled <= most, qPrintable(QString::number(spoiled)));
    QCOMPARE(drawn.size(), kinds);

    const auto sameFaults = [&](const bussim::RandomFaultSettings &random) {
        return std::ranges::equal(play(random), responses, {}, &bussim::Response::fault,
                                  &bussim::Response::fault);
    };
    QVERIFY(sameFaults(*parsed));
    bussim::RandomFaultSettings other = *parsed;
    ++other.seed;
    QCOMPARE(sameFaults(other), spoiled == 0);
}

void TestSimulator::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("held");    // the played network's faults then
    QTest::addColumn<QString>("refusal"); // in the message when refused
    // The arguments as typed, one blank between them.
    const auto row = [](const QString &arguments, const char *held, const char *refusal = "") {
        QTest::newRow(qPrintable(arguments.left(60)))
            << arguments.split(u' ') << QString::fromLatin1(held) << QString::fromLatin1(refusal);
    };
    row(u"--fault 05:foreign:count=1"_s, "05 foreign:count=1");
    row(u"--fault=9c:reply-code=1F"_s, "9C reply-code=1F");
    row(u"--fault 9C:delay=60000 --fault 9C:split=255:gap=60000"_s,
        "9C delay=60000, 9C split=255:gap=60000");
    row(u"--random-faults 42:5:gap=3-8"_s, "random 42:5:gap=3-8");
    row(u"--random-faults=42:5"_s, "random 42:5:gap=10-60"); // pauses by default
    const auto refused = [&](const QString &arguments, const char *refusal) {
        row(arguments, "", refusal);
    };
    refused(u"--fault 05:split"_s, "split needs a value");
    refused(u"--fault 05:silent=3"_s, "silent takes no value");
    refused(u"--fault 05:reply-code=1FF"_s, "reply-code takes a number from 0 to FF");
    refused(u"--fault 05:louder"_s, "unknown fault");
    refused(u"--fault 05:delay=5:gap"_s, "unknown part \"gap\"");
    refused(u"--fault 55:silent"_s, "no controller");
    refused(u"--fault 9C:delay=2147483647"_s, "delay takes a number from 0 to 60000");
    refused(u"--fault 9C:split=3:gap=60001"_s, "gap takes a number from 0 to 60000");
    refused(u"--fault 9C:split=0"_s, "split takes a number from 1 to 255");
    refused(u"--fault 9C:silent:count=1000001"_s, "count takes a number from 0 to 1000000");
    refused(u"--random-faults 42"_s, "give SEED:PERCENT");
    refused(u"--random-faults 42:101"_s, "the percent takes a number from 0 to 100");
    refused(u"--random-faults 42:5:gap=8-3"_s, "MIN above MAX");
    refused(u"--random-faults 42:5:gap=0-60001"_s, "gap takes a number from 0 to 60000");
    refused(u"--ports 17"_s, "--ports takes a number from 1 to 16");
    refused(u"--link L "_s.repeated(17).trimmed(), "--link given more than 16 times");
    refused(u"--network"_s, "--network needs a value");
    refused(u"--log="_s, "--log needs a value");
    refused(u"--wire-time=1"_s, "--wire-time takes no value");
    refused(u"--frobnicate=2"_s, "unknown argument \"--frobnicate=2\"");
}

void TestSimulator::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, held);
    QFETCH(QString, refusal);
    bussim::Options options;
    QString error;
    const bool taken = bussim::ParseOptions(QStringList{u"bussim"_s} + arguments, &options, &error);
    QVERIFY2(refusal.isEmpty() ? taken : !taken && error.contains(refusal), qPrintable(error));
    bussim::Network played = bussim::PlayedNetwork(options);
    QStringList faults;
    for (const ControllerRow &row : NetworkTable) {
        for (const Fault &fault : played.find(row.address)->faults)
            faults << HexByte(row.address) + u' ' + bussim::FaultText(fault);
    }
    if (const bussim::RandomFaults *random = played.randomFaults()) {
        const bussim::RandomFaultSettings &s = random->settings();
        faults << u"random %1:%2:gap=%3-%4"_s.arg(s.seed)
                      .arg(s.percent)
                      .arg(s.minGapMs)
                      .arg(s.maxGapMs);
    }
    QCOMPARE(faults.join(u", "), held);
}

// A network file is taken whole or refused at start, with a message naming
// the file and what is wrong in it; it is only read, and so is its folder.
void TestSimulator::networkFiles_data()
{
    QTest::addColumn<QString>("name");        // of the file, in a folder of its own
    QTest::addColumn<QByteArray>("contents"); // null: no such file
    QTest::addColumn<QString>("refusal");     // empty: taken
    const auto row = [](const char *tag, const char *contents, const char *refusal,
                        const char *name = "net.json") {
        QTest::newRow(tag) << QString::fromLatin1(name) << QByteArray(contents)
                           << QString::fromLatin1(refusal);
    };
    row("none yet: made on exit", nullptr, "");
    row("a mistyped key", R"({"Controllers": {}})", R"(unknown key "Controllers")");
    row("controllers as a list", R"({"controllers": []})", R"("controllers" is not an object)");
    row("a controller as a list", R"({"controllers": {"9C": []}})", "controller 9C: not an object");
    row("a mistyped key of a controller", R"({"controllers": {"9C": {"absnt": true}}})",
        R"(controller 9C: unknown key "absnt")");
    row("registers as a string", R"({"controllers": {"9C": {"registers": "E0 01 02 03"}}})",
        R"(controller 9C: "registers" is not a list of strings)");
    row("memory as numbers", R"({"controllers": {"05": {"memory": [1, 2]}}})",
        R"(controller 05: "memory" is not a list of strings)");
    row("absent as a string", R"({"controllers": {"9D": {"absent": "yes"}}})",
        R"(controller 9D: "absent" is not true or false)");
    row("a fault's pause too long", R"({"controllers": {"9C": {"faults": ["delay=60001"]}}})",
        "controller 9C: fault \"delay=60001\": delay takes a number from 0 to 60000");
    row("not an object", "[]", "not a network file: not a JSON object");
    row("in a folder that is not there", nullptr, "the network cannot be saved", "none/net.json");
}

void TestSimulator::networkFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!contents.isNull()) {
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
        file.close();
    }
    bussim::Options options;
    QString error;
    const bool taken = bussim::ParseOptions({u"bussim"_s, u"--network"_s, path}, &options, &error);
    QVERIFY2(refusal.isEmpty()
                 ? taken
                 : !taken && error.contains(path + u": "_s) && error.contains(refusal),
             qPrintable(error));
    QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), contents);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             contents.isNull() ? QStringList() : QStringList{name});
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
    const QString path = dir.filePath(u"network.json"_s);
    QString error;
    QVERIFY2(network.save(path, &error), qPrintable(error));
    bussim::Network loaded;
    QVERIFY2(loaded.load(path, &error), qPrintable(error));
    QVERIFY(loaded.sameContents(network));
    QVERIFY(loaded.find(0x9D)->absent);
    QCOMPARE(bussim::FaultText(loaded.find(0x05)->faults.value(0)), u"split=5:gap=40:count=2"_s);
    // A malformed entry changes nothing.
    const QByteArray bad = R"({"controllers":{"9C":{"registers":["E0 01"]}}})";
    QVERIFY(!loaded.loadJson(QJsonDocument::fromJson(bad).object(), &error));
    QVERIFY(error.contains(u"register 0"_s));
    QVERIFY(loaded.sameContents(network));
    // One byte of memory or of a register tells two networks apart; absence
    // and faults do not count.
    bussim::Network changed = network;
    changed.setAbsent(0x9D, false);
    changed.clearFaults();
    QVERIFY(changed.sameContents(network));
    changed.memory(0x07)[255] = 0x43;
    QVERIFY(!changed.sameContents(network));
    changed = network;
    changed.registers(0x8F)[8][3] = 0x98;
    QVERIFY(!changed.sameContents(network));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
