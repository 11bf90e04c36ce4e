#include <QtTest>
class StandEventsTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(StandEventsTest)
#include "stand_events_test.moc"
