#pragma once
// Choosing a scanner in the window as the user does (its name in the list ends with its SANE
// name), for a single page at 50 dpi.
#include "app/window/MainWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QtTest>

inline void PickScanner(velorix::Tvelorix_2& window, const QString& device) {
    const int index = window.cbDevice->findText(device, Qt::MatchEndsWith);
    QVERIFY2(index >= 0, qPrintable(device));
    window.cbDevice->setCurrentIndex(index);
    window.cbDeviceChange(window.cbDevice);
    window.res->setEditText(QStringLiteral("50"));
    window.multi->setChecked(false);
}
