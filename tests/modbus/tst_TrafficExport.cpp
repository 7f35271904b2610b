// Traffic records written as the traffic log's lines and as CSV.
#include "ModbusTestBytes.h"
#include "TrafficExport.h"

#include <QBuffer>
#include <QDateTime>
#include <QTest>

using namespace modbus_test;

namespace {

TrafficRecord Record(TrafficDirection direction, Verdict verdict, const QByteArray& bytes, qint64 us) {
    TrafficRecord r;
    r.utcMs = QDateTime(QDate(2026, 12, 10), QTime(8, 15, 2, 123), Qt::UTC).toMSecsSinceEpoch() + us / 1000;
    r.monotonicUs = 5000000 + us;
    r.direction = direction;
    r.verdict = verdict;
    r.bytes = bytes;
    return r;
}

QList<TrafficRecord> Records() {
    TrafficRecord exception =
        Record(TrafficDirection::Rx, Verdict::Exception, WithCrc(Hex("018304")), 104250);
    exception.exceptionCode = 4;
    return {Record(TrafficDirection::Tx, Verdict::Sent, Hex("01030000000AC5CD"), 0), exception,
            Record(TrafficDirection::Missing, Verdict::NoReply, {}, 1000000)};
}

QByteArray Written(TrafficFileFormat format, const TrafficWriter::Describe& describe) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    TrafficWriter writer(out, format, 5000000, describe);
    bool ok = writer.Begin();
    for (const TrafficRecord& r : Records())
        ok = writer.Write(r) && ok;
    return ok ? out.data() : QByteArray("write failed");
}

} // namespace

class TestTrafficExport : public QObject {
    Q_OBJECT
private slots:
    void formats_data();
    void formats();
    void csvField_data();
    void csvField();
    void refusedWrite();
};

void TestTrafficExport::formats_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("described");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("log text") << int(TrafficFileFormat::LogText) << true
                              << QByteArray("2026-12-10T08:15:02.123Z tx sent 01 03 00 00 00 0A C5 CD\n"
                                            "2026-12-10T08:15:02.227Z rx exception 01 83 04 40 F3\n"
                                            "2026-12-10T08:15:03.123Z -- noreply\n");
    QTest::newRow("csv") << int(TrafficFileFormat::Csv) << false
                         << QByteArray("time_utc,time_ms,direction,verdict,exception,length,bytes\r\n"
                                       "2026-12-10T08:15:02.123Z,0.000,tx,sent,,8,01 03 00 00 00 0A C5 CD\r\n"
                                       "2026-12-10T08:15:02.227Z,104.250,rx,exception,04,5,01 83 04 40 F3\r\n"
                                       "2026-12-10T08:15:03.123Z,1000.000,--,noreply,,0,\r\n");
    QTest::newRow("csv, described")
        << int(TrafficFileFormat::Csv) << true
        << QByteArray(
               "time_utc,time_ms,direction,verdict,exception,length,bytes,text\r\n"
               "2026-12-10T08:15:02.123Z,0.000,tx,sent,,8,01 03 00 00 00 0A C5 CD,sent\r\n"
               "2026-12-10T08:15:02.227Z,104.250,rx,exception,04,5,01 83 04 40 F3,\"exception, 04\"\r\n"
               "2026-12-10T08:15:03.123Z,1000.000,--,noreply,,0,,noreply\r\n");
}

void TestTrafficExport::formats() {
    QFETCH(int, format);
    QFETCH(bool, described);
    QFETCH(QByteArray, expected);
    TrafficWriter::Describe describe;
    if (described)
        describe = [](const TrafficRecord& r) {
            QString text = QString::fromLatin1(VerdictKeyword(r.verdict));
            if (r.verdict == Verdict::Exception)
                text += QStringLiteral(", %1").arg(r.exceptionCode, 2, 10, QLatin1Char('0'));
            return text;
        };
    QCOMPARE(Written(TrafficFileFormat(format), describe), expected);
}

void TestTrafficExport::csvField_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << "CRC错误"
                           << "CRC错误";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("comma") << "a,b"
                           << "\"a,b\"";
    QTest::newRow("quote") << "say \"hi\""
                           << "\"say \"\"hi\"\"\"";
    QTest::newRow("line break") << "a\r\nb"
                                << "\"a\r\nb\"";
}

void TestTrafficExport::csvField() {
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(TrafficWriter::CsvField(text), field);
}

void TestTrafficExport::refusedWrite() {
    QByteArray bytes;
    QBuffer readOnly(&bytes);
    readOnly.open(QIODevice::ReadOnly);
    TrafficWriter writer(readOnly, TrafficFileFormat::Csv);
    for (int i = 0; i < 2; ++i)
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): ReadOnly device");
    QVERIFY(!writer.Begin());
    QVERIFY(!writer.Write(Records().first()));
    QVERIFY(!writer.ErrorString().isEmpty());
}

QTEST_APPLESS_MAIN(TestTrafficExport)
#include "tst_TrafficExport.moc"
