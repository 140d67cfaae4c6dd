// velmar_form on real widgets, offscreen.
#include "station/velmar_form.h"
#include "test_support.h"

#include <QTest>

class TestStationForm : public QObject {
    Q_OBJECT
private slots:
    void placeholder() {}
};

QTEST_MAIN(TestStationForm)
#include "test_station_form.moc"
