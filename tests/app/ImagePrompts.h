#pragma once
// Prompts that also answer the image and printer dialogs from a script.
#include "tests/app/ScriptedPrompts.h"

#include "imaging/ImageDialogs.h"
#include "imaging/printing/Printing.h"

#include <QQueue>

class ImagePrompts : public ScriptedPrompts {
public:
    // The files the next open dialogs return; an empty name cancels that dialog.
    QQueue<QString> openAnswers;
    // The names the next save dialogs return (empty: cancel), and the file type chosen.
    QQueue<QString> saveAnswers;
    int saveType = 1;
    QImage savePreview; // the picture the last save dialog showed
    int openDialogs = 0, saveDialogs = 0, printerSetups = 0;

    bool openImage(velorix::imaging::TOpenImageDialog& dialog) override {
        ++openDialogs;
        const QString name = next(openAnswers, "open");
        if (name.isEmpty())
            return false;
        dialog.FileName = name;
        return true;
    }
    bool saveImage(velorix::imaging::TSaveImageDialog& dialog) override {
        ++saveDialogs;
        savePreview = dialog.Picture;
        const QString name = next(saveAnswers, "save");
        if (name.isEmpty())
            return false;
        dialog.FileName = name;
        dialog.FilterIndex = saveType;
        dialog.Options.os2Bitmap = saveType == 6;
        return true;
    }
    bool printerSetup(velorix::printing::IPrinter&) override {
        ++printerSetups;
        return true;
    }

private:
    static QString next(QQueue<QString>& queue, const char* which) {
        if (queue.isEmpty()) {
            QTest::qFail(qPrintable(QStringLiteral("unexpected %1 dialog").arg(which)), __FILE__,
                         __LINE__);
            return {};
        }
        return queue.dequeue();
    }
};

struct ImageTestServices : TestServices {
    std::shared_ptr<ImagePrompts> images = std::make_shared<ImagePrompts>();
    std::shared_ptr<velorix::printing::IPrinter> printer = velorix::printing::makeNullPrinter();

    velorix::Services services() const {
        velorix::Services s = TestServices::services();
        s.prompts = images;
        s.printer = printer;
        return s;
    }
};
