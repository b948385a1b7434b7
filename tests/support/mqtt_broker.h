#pragma once
// A private Mosquitto broker for tests: listens on a free 127.0.0.1 port only (anonymous, no
// persistence), is started through timeout(1) so that it ends by itself within two minutes
// even if the test process dies, and is stopped when the object goes away. Stop and Start again
// keep the port (a broker restarted under a running client).
//
//     testsupport::TMqttBroker broker;
//     ASSERT_TRUE(broker.Running()) << broker.Error();
//     ... "127.0.0.1:" + QString::number(broker.Port()) ...
//
// A secured broker asks for one user's name and password and speaks TLS only, with a
// certificate for 127.0.0.1 made for the test: CaFile() is what a client trusts.

#include <sys/types.h>
#include <QTemporaryDir>
#include <cstdint>
#include <string>

namespace testsupport {

struct TBrokerSecurity {
    std::string User;  // empty: anonymous
    std::string Password;
    bool Tls = false;
};

class TMqttBroker {
public:
    explicit TMqttBroker(TBrokerSecurity ASecurity = {});
    ~TMqttBroker();
    TMqttBroker(const TMqttBroker&) = delete;
    TMqttBroker& operator=(const TMqttBroker&) = delete;

    // Starts it (again) and waits until it takes connections; false with Error() otherwise.
    bool Start();
    // Ends it (SIGTERM, then SIGKILL) and waits for it to be gone.
    void Stop();
    bool Running() const { return fPid > 0; }
    uint16_t Port() const { return fPort; }
    std::string CaFile() const;
    const std::string& Error() const { return fError; }

private:
    // The password file and the certificate, made once; false with Error() otherwise.
    bool MakeSecurityFiles();
    std::string File(const char* AName) const;

    TBrokerSecurity fSecurity;
    bool fFilesMade = false;
    QTemporaryDir fDir;
    uint16_t fPort = 0;
    pid_t fPid = -1;
    std::string fError;
};

}  // namespace testsupport
