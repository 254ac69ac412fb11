// The race's rules without any window.
#include "game/numberformat.h"
#include "game/race.h"

#include <QSet>
#include <QTest>

class TestRules : public QObject
{
    Q_OBJECT
private slots:
    void leadingNumberReadsLeniently_data();
    void leadingNumberReadsLeniently();
    void answerOutside16BitsIsNoValue();

    void numbersStayWithin0To999AndExpectTheSuccessor();
    void drawsDependOnTheTimeAsTheyShould();

    void clockCrossesAnHour();
};

void TestRules::leadingNumberReadsLeniently_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("record with line break") << "42\r\n" << 42.0;
    QTest::newRow("leading blanks") << "  17abc" << 17.0;
    QTest::newRow("sign and point") << "-3.5x" << -3.5;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("exponent without digits") << "7e" << 7.0;
    QTest::newRow("letters first") << "abc12" << 0.0;
    QTest::newRow("leading zeros") << "0124" << 124.0;
}

void TestRules::leadingNumberReadsLeniently()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(NumberFormat::leadingNumber(text), value);
}

void TestRules::answerOutside16BitsIsNoValue()
{
    QCOMPARE(NumberFormat::answerValue(QStringLiteral("32767")), std::optional<qint16>(32767));
    QCOMPARE(NumberFormat::answerValue(QStringLiteral("32768")), std::nullopt);
    QCOMPARE(NumberFormat::answerValue(QStringLiteral("-40000")), std::nullopt);
    QCOMPARE(NumberFormat::answerValue(QStringLiteral("1e9")), std::nullopt);
    QCOMPARE(NumberFormat::answerValue(QStringLiteral("12.5")), std::optional<qint16>(12)); // ties to even
    QCOMPARE(NumberFormat::answerValue(QStringLiteral("13.5")), std::optional<qint16>(14));
}

void TestRules::numbersStayWithin0To999AndExpectTheSuccessor()
{
    Race race;
    QSet<int> seen, shades;
    qint64 ms = 0;
    for (int i = 0; i < 20000; ++i) {
        const Question q = race.newQuestion(ms += 37);
        QVERIFY(q.number >= 0 && q.number <= 999);
        QCOMPARE(race.state().expectedAnswer, q.number + 1);
        QCOMPARE(race.state().backgroundShade, q.shade);
        seen.insert(q.number);
        shades.insert(q.shade);
    }
    QVERIFY2(seen.size() > 990, "draws should cover nearly every number");
    QVERIFY(seen.contains(0) && seen.contains(999));
    QCOMPARE(shades.size(), 15); // 0 to 14, each seen
}

void TestRules::drawsDependOnTheTimeAsTheyShould()
{
    // The first shade is the same at every start; the second follows from the first
    // reseed, so from the time; the same time twice still brings another number.
    Race morning, evening;
    QCOMPARE(morning.newQuestion(8 * 3600 * 1000).shade, evening.newQuestion(20 * 3600 * 1000).shade);
    QSet<int> secondShades, numbers;
    for (qint64 t = 0; t < 40; ++t) {
        Race race;
        race.newQuestion(t * 1000);
        secondShades.insert(race.newQuestion(0).shade);
        numbers.insert(morning.newQuestion(12 * 3600 * 1000).number);
    }
    QVERIFY(secondShades.size() > 3);
    QVERIFY2(numbers.size() > 30, "the same time must not bring back the same number");
}

void TestRules::clockCrossesAnHour()
{
    Race race;
    race.state().clockHours = 1;
    race.state().clockMinutes = 0;
    race.state().clockSeconds = 0;
    QCOMPARE(race.tick(QStringLiteral("01:00:00")), TickOutcome::Shown);
    QCOMPARE(race.clockText(), QStringLiteral("00:59:59"));
}

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
