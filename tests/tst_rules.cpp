// The race's rules without any window.
#include "game/numberformat.h"
#include "game/race.h"

#include <QSet>
#include <QTest>

class TestRules : public QObject
{
    Q_OBJECT
private slots:
    void numbersAreReadLeniently();

    void numbersStayWithin0To999AndExpectTheSuccessor();
    void drawsDependOnTheTimeAsTheyShould();
};

void TestRules::numbersAreReadLeniently()
{
    // A record's leading number, however it was written.
    for (const auto &[text, value] : {std::pair{"", 0.0}, {"42\r\n", 42.0}, {"  17abc", 17.0}, {"-3.5x", -3.5}, {"1e3", 1000.0},
                                      {"7e", 7.0}, {"abc12", 0.0}, {"0124", 124.0}})
        QCOMPARE(NumberFormat::leadingNumber(QString::fromUtf8(text)), value);
    // A typed answer outside 16 bits is no value; a fraction rounds half to even.
    for (const auto &[text, value] : {std::pair{"32767", std::optional<qint16>(32767)}, {"32768", std::nullopt}, {"-40000", std::nullopt},
                                      {"1e9", std::nullopt}, {"12.5", 12}, {"13.5", 14}})
        QCOMPARE(NumberFormat::answerValue(QString::fromUtf8(text)), value);
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

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
