// A whole self-update with real processes: a small program linking the component starts from a
// temporary install folder, checks an information file served on 127.0.0.1, downloads a newer
// copy of itself and a data file, writes the queue and the real replacer and exits; the replacer
// waits for it, installs, and starts it again with the restart parameters.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

#include "tests/support/Eventually.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "tests/support/net/HttpTestServer.h"
#include "update/kxReliftVerify.h"

extern char** environ;

namespace pw::update {
namespace {

namespace fs = std::filesystem;

// An Ed25519 key made for the run: its public half as PEM, and signatures by it.
class SigningKey {
  public:
    SigningKey() {
        std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
            EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr), EVP_PKEY_CTX_free);
        EVP_PKEY* key = nullptr;
        if (ctx && EVP_PKEY_keygen_init(ctx.get()) == 1) EVP_PKEY_keygen(ctx.get(), &key);
        key_.reset(key);
    }
    std::string PublicPem() const {
        std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
        PEM_write_bio_PUBKEY(bio.get(), key_.get());
        char* data = nullptr;
        const long n = BIO_get_mem_data(bio.get(), &data);
        return std::string(data, static_cast<std::size_t>(n));
    }
    std::string Sign(const std::string& bytes) const {
        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md(EVP_MD_CTX_new(),
                                                                   EVP_MD_CTX_free);
        std::string sig(64, '\0');
        std::size_t len = sig.size();
        EVP_DigestSignInit(md.get(), nullptr, nullptr, nullptr, key_.get());
        EVP_DigestSign(md.get(), reinterpret_cast<unsigned char*>(sig.data()), &len,
                       reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        return sig;
    }

  private:
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key_{nullptr, EVP_PKEY_free};
};

pid_t Spawn(const std::string& program) {
    std::string arg0 = program;
    char* argv[] = {arg0.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
    return pid;
}

// Waits for the process, killing it when it outlives the watchdog; whether it ended by itself.
bool Reap(pid_t pid) {
    int status = 0;
    bool reaped = false;
    const bool ended =
        test::Eventually([&] { return reaped = reaped || waitpid(pid, &status, WNOHANG) == pid; });
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return ended;
}

std::string Sha256Hex(const std::string& path) {
    return Sha256OfFile(path).value_or("");
}

fs::perms Mode(const fs::path& p) {
    return fs::status(p).permissions();
}

TEST(ReliftEndToEnd, TheProgramReplacesItselfAndRestartsOnlyWithAVerifiedUpdate) {
    struct Case {
        const char* name;
        bool signedBuild;
        bool wrongDigest;
        bool installs;
    };
    const Case cases[] = {
        {"plain", false, false, true},
        {"signed", true, false, true},
        {"wrong digest", false, true, false},
    };
    const std::string original = test::ReadFile(PW_RELIFT_DEMO_PATH);
    ASSERT_FALSE(original.empty());
    const std::string newer = original + "\nNEWER VERSION\n";

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir temp;
        test::TempDir root;
        const test::ScopedEnv tmpdir{{"TMPDIR", temp.path().string()}};
        // Blanks, a double blank and "+" in the path: it must reach the replacer whole.
        const fs::path folder = root.path() / "my tools+1  x";
        fs::create_directories(folder / "share");
        const fs::path program = folder / "relift-demo";
        fs::copy_file(PW_RELIFT_DEMO_PATH, program);
        fs::permissions(program, fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
        const fs::perms programMode = Mode(program);
        std::ofstream(folder / "share" / "data.txt") << "old data";
        fs::permissions(folder / "share" / "data.txt",
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        const fs::perms dataMode = Mode(folder / "share" / "data.txt");

        test::TempDir site;
        const std::string newerPath = site.Write("relift-demo", newer);
        const std::string dataPath = site.Write("data.txt", "new data");
        // Written here once the port is known, read by the server's threads; they outlive the
        // server.
        std::mutex published;
        std::string info;
        std::string signature;
        test::HttpTestServer server;
        server.Http().Get("/info.txt", [&](const httplib::Request&, httplib::Response& res) {
            const std::lock_guard lock(published);
            res.set_content(info, "text/plain");
        });
        server.Http().Get("/info.txt.sig", [&](const httplib::Request&, httplib::Response& res) {
            const std::lock_guard lock(published);
            res.set_content(signature, "application/octet-stream");
        });
        server.Http().Get(R"(/files/(.+))",
                          [&](const httplib::Request& req, httplib::Response& res) {
                              res.set_content(test::ReadFile(site / req.matches[1].str()),
                                              "application/octet-stream");
                          });
        server.Start();
        std::unique_lock lock(published);
        info = "#date=12/31/2099\r\n#url=" + server.Url("/files/relift-demo") +
               "\r\n#url2=" + server.Url("/files/data.txt") + "=share\\data.txt\r\n";
        if (c.signedBuild || c.wrongDigest) {
            info += "#sha256=" + (c.wrongDigest ? std::string(64, '0') : Sha256Hex(newerPath)) +
                    "\r\n#sha2562=" + Sha256Hex(dataPath) + "\r\n";
        }
        SigningKey key;
        if (c.signedBuild) {
            signature = key.Sign(info);
            setenv("PW_TEST_PUBKEY_FILE", temp.Write("key.pem", key.PublicPem()).c_str(), 1);
        } else {
            unsetenv("PW_TEST_PUBKEY_FILE");
        }
        setenv("PW_TEST_INFO_URL", server.Url("/info.txt").c_str(), 1);
        lock.unlock();

        const pid_t first = Spawn(program.string());
        ASSERT_GT(first, 0);
        EXPECT_TRUE(Reap(first)) << "the program closes for the replacer";
        const fs::path marker = folder / (c.installs ? "restarted" : "stopped");
        EXPECT_TRUE(test::Eventually([&] { return fs::exists(marker); }));
        // The restarted program and the replacer end by themselves; let them.
        test::Eventually([&] { return !fs::exists(temp / "ReliftQueue.txt"); });

        if (c.installs) {
            EXPECT_EQ(test::ReadFile(marker.string()), "/afterupgrade");
            EXPECT_EQ(test::ReadFile(program.string()), newer);
            EXPECT_EQ(Mode(program), programMode);
            EXPECT_EQ(test::ReadFile((folder / "share" / "data.txt").string()), "new data");
            EXPECT_EQ(Mode(folder / "share" / "data.txt"), dataMode);
        } else {
            EXPECT_EQ(test::ReadFile(marker.string()), "aborted");
            EXPECT_EQ(test::ReadFile(program.string()), original);
            EXPECT_EQ(test::ReadFile((folder / "share" / "data.txt").string()), "old data");
        }
        EXPECT_FALSE(fs::exists(temp / "ReliftQueue.txt"));
        for (const auto& e : fs::recursive_directory_iterator(folder))
            EXPECT_NE(e.path().extension(), ".uTMP") << e.path();
    }
    unsetenv("PW_TEST_PUBKEY_FILE");
    unsetenv("PW_TEST_INFO_URL");
}

}  // namespace
}  // namespace pw::update
