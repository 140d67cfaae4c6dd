// velmar_form on real widgets, offscreen.
#include "startup/velmo.h"
#include "test_support.h"

#include <QTest>

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void placeholder() {}
};

QTEST_MAIN(TestCli)
#include "test_cli.moc"
