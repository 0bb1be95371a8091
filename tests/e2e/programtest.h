// The real program, started as a user or the engine starts it and driven
// with real keyboard and mouse input under a window manager, against the
// platform played by a loopback server; seen from outside: its output and
// exit code, its windows, its processes and the files it leaves.
#ifndef PROGRAMTEST_H
#define PROGRAMTEST_H

#include <QProcess>
#include <QtTest>

#include "clientsession.h"
#include "platformserver.h"
#include "platformserverthread.h"

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    // Start-up, login and the platform's page (tst_program.cpp).
    void subProcessRoleEndsAtOnce_data();
    void subProcessRoleEndsAtOnce();
    void browserRoleRunsOnlyItselfAndClosesCleanly_data();
    void browserRoleRunsOnlyItselfAndClosesCleanly();
    void loginShowsPlatformPage();
    void invalidAddressKeepsLoginWindow();
    void popupRoads_data();
    void popupRoads();
    void reconnectsWhenThePlatformComesBack();

    // Faults and bad input (tst_program_faults.cpp).
    void noSecretOnDisk();
    void twoProgramsInOneDirectory();
    void staleLockIsTakenOver();
    void killedRendererIsRecovered_data();
    void killedRendererIsRecovered();
    void failedLoginShowsMaskedErrorPage();
    void consoleStaysQuiet();
    void misbehavingServer_data();
    void misbehavingServer();

    // Hostile pages and a missing engine (tst_program_hostile.cpp).
    void permissionQuestionAbortsWhenItsWindowGoes();
    void alertLoopHoldsTheOperator();
    void longFailingUrlLoops();
    void missingEngineModuleIsSilent_data();
    void missingEngineModuleIsSilent();

    // What an operator does beyond watching (tst_program_operator.cpp).
    void webGlOnlyWhenAsked_data();
    void webGlOnlyWhenAsked();
    void downloadsLandWholeUnderTwoNames();
    void dialogsAnswerThePage();
    void fileChooserHandsPageTheFiles_data();
    void fileChooserHandsPageTheFiles();
    void microphoneAskedOfUserForPlatformOnly();
    void highDensityScreen();

    // Alarms the platform raises as notifications (tst_program_alarms.cpp).
    void alarmsReachTheOperator();
    // A platform on the LAN behind https (tst_program_https.cpp).
    void lanPlatformBehindHttps();
    // The keyboard: focus, reload, full screen and zoom (tst_program_keys.cpp).
    void keysReachPageAndWindow();
    // Downloads a page cannot lose or misuse (tst_program_downloads.cpp).
    void popupDownloadLandsAfterPopupCloses();
    void dotFileDownloadCannotPlantStartUpFile();
    void repeatedDownloadsAskedAndRefused();

private:
    // The platform's address with its last field replaced: another loopback
    // host of this test's own.
    QString neighbour(int last) const;
    // Requests for |path| the platform has seen.
    int countRequests(const QByteArray &path) const;
    // Starts the program with |arguments| and logs in to |target| with |password|.
    bool startAndLogIn(ClientSession &session, const QString &target, const QString &password = QStringLiteral("pw"),
                       const QStringList &arguments = QStringList());
    // Starts the program, logs in to the platform and waits until its page
    // is asked for and the view shows.
    bool openPage(ClientSession &session, const QString &password = QStringLiteral("pw"));
    // Closes the view as the window manager's close button does; true once
    // the program has exited with 0.
    bool closeView(ClientSession &session);
    // The operator's page, its broken download link to |brokenBase|: starts
    // the program, logs in, waits for the page and returns the view, active.
    unsigned long openOperatorPage(ClientSession &session, const QString &brokenBase = QString());
    // Lets the page report to |to| through "/report", answered with 204.
    static void takeReports(PlatformServerThread &to);
    // The value of the |n|th report of |key| (counted from 1) that the page
    // sent to |from|, once it came.
    QString report(PlatformServerThread &from, const QByteArray &key, int n = 1, int timeoutMs = 30000);
    QString reportNow(PlatformServerThread &from, const QByteArray &key, int n) const;

    QProcess windowManager;
    // The platform, and a server of another origin on the same host.
    PlatformServerThread server;
    PlatformServerThread otherServer;
    QString address;
};

#endif // PROGRAMTEST_H
