#include <QtTest>
class StandModelTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(StandModelTest)
#include "stand_model_test.moc"
