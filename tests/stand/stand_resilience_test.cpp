#include <QtTest>
class StandResilienceTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(StandResilienceTest)
#include "stand_resilience_test.moc"
