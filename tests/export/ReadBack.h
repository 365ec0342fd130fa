#pragma once

// Reads an exported file back through Python (openpyxl for .xlsx, the csv module for .csv): the
// file is judged by readers this project did not write. A missing interpreter or module fails.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QtTest>

namespace suptest {

// The Python that has the reader: $SUP_PYTHON, else the system's (where the distribution's
// openpyxl lives), else the first python3 on the path.
inline QString python() {
    const QString env = qEnvironmentVariable("SUP_PYTHON");
    if (!env.isEmpty())
        return env;
    if (QFile::exists(QStringLiteral("/usr/bin/python3")))
        return QStringLiteral("/usr/bin/python3");
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

// The file as JSON; `ok` false (and the test failed) when the reader could not run.
inline QJsonObject readBack(const QString& path, bool& ok) {
    ok = false;
    const QString py = python();
    if (py.isEmpty()) {
        QTest::qFail("python3 não encontrado: instale python3 e python3-openpyxl", __FILE__,
                     __LINE__);
        return {};
    }
    QProcess p;
    p.start(py, {QStringLiteral(SUP_EXPORT_READER), path});
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        const QByteArray why = "leitura de " + path.toUtf8() + " por " + py.toUtf8() +
                               " falhou: " + p.readAllStandardError();
        QTest::qFail(why.constData(), __FILE__, __LINE__);
        return {};
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput(), &error);
    if (!doc.isObject()) {
        QTest::qFail("resposta do leitor não é JSON", __FILE__, __LINE__);
        return {};
    }
    ok = true;
    return doc.object();
}

} // namespace suptest

// Reads `path` into the QJsonObject `var`, ending the test when the reader failed.
#define SUP_READ_BACK(var, path)                                                                   \
    bool var##Ok = false;                                                                          \
    const QJsonObject var = suptest::readBack(path, var##Ok);                                      \
    if (!var##Ok)                                                                                  \
        return;
