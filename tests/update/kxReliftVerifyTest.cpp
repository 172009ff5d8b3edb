#include "update/kxReliftVerify.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/sha.h>
#include <spawn.h>
#include <sys/wait.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "update/kxReliftInfo.h"

extern char** environ;

namespace pw::update {
namespace {

using test::ReadFile;
using test::TempDir;

// SHA-256 of "abc" and of nothing.
const std::string kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string kEmpty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

TEST(ReadInfoFile, DigestKeysFollowTheirFileKeys) {
    TempDir dir;
    const std::string abcFile = dir.Write("abc", "abc");
    const std::string e = std::string(kEmptyDigestValue);
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> digests;
        std::vector<bool> matchAbc;  // whether the file "abc" passes as each listed download
    };
    const Case cases[] = {
        {"no digests: every download passes", "#url=A\r\n#url0=B\r\n", {"", ""}, {true, true}},
        {"#sha256 and #sha2560",
         "#url=A\r\n#url0=B\r\n#sha2560=" + kEmpty + "\r\n#sha256=" + kAbc + "\r\n",
         {kAbc, kEmpty},
         {true, false}},
        {"#url with #url1 goes on at 2, and so do the digests",
         "#url=A\r\n#url1=X\r\n#url2=C\r\n#sha2561=" + kEmpty + "\r\n#sha2562=" + kAbc + "\r\n",
         {"", kAbc},
         {true, true}},
        {"numbered keys alone",
         "#url1=A\r\n#url2=B\r\n#url3=C\r\n#sha2562=" + kAbc + "\r\n",
         {"", kAbc, ""},
         {true, true, true}},
        {"#sha2560 is not the digest of #url",
         "#url=A\r\n#sha2560=" + kEmpty + "\r\n",
         {""},
         {true}},
        {"key and hex in capitals",
         "#URL=A\r\n#SHA256=" + Upper(kAbc) + "\r\n",
         {Upper(kAbc)},
         {true}},
        {"one digit short is kept, and fails",
         "#url=A\r\n#sha256=" + kAbc.substr(1) + "\r\n",
         {kAbc.substr(1)},
         {false}},
        {"one digit long is kept, and fails",
         "#url=A\r\n#sha256=" + kAbc + "0\r\n",
         {kAbc + "0"},
         {false}},
        {"a trailing blank is kept, and fails",
         "#url=A\r\n#sha256=" + kAbc + " \r\n",
         {kAbc + " "},
         {false}},
        {"a non-hex digit is kept, and fails",
         "#url=A\r\n#sha256=" + kAbc.substr(0, 63) + "g\r\n",
         {kAbc.substr(0, 63) + "g"},
         {false}},
        {"an empty value is not \"no digest\"",
         "#url=A\r\n#sha256=\r\n#url0=B\r\n",
         {e, ""},
         {false, true}},
        {"an empty value at the very end", "#url=A\r\n#sha256=", {e}, {false}},
        {"digest on a last line without a break", "#url=A\r\n#sha256=" + kAbc, {kAbc}, {true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TkxReliftInfoFile info = ReadInfoFile(c.text);
        EXPECT_EQ(info.files.size(), info.digests.size());
        EXPECT_EQ(info.digests, c.digests);
        for (std::size_t i = 0; i < info.digests.size() && i < c.matchAbc.size(); ++i) {
            EXPECT_EQ(FileMatchesDigest(abcFile, info.digests[i]), c.matchAbc[i]) << "file " << i;
        }
    }
    // Equal texts match only when they are digests.
    EXPECT_TRUE(DigestMatches(kAbc, Upper(kAbc)));
    EXPECT_FALSE(DigestMatches(kAbc.substr(1), kAbc.substr(1)));
    EXPECT_FALSE(DigestMatches(e, e));
}

TEST(Sha256OfFile, KnownVectorsBlocksAndUnreadableFiles) {
    TempDir dir;
    EXPECT_EQ(Sha256OfFile(dir.Write("empty", "")), kEmpty);
    EXPECT_EQ(Sha256OfFile(dir.Write("abc", "abc")), kAbc);

    // Sizes around the read block (64 KiB): exactly two blocks, and more than three.
    for (const std::size_t size : {std::size_t{2 * 65536}, std::size_t{200001}}) {
        SCOPED_TRACE(size);
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>(i * 7 + i / 251);
        unsigned char md[SHA256_DIGEST_LENGTH];
        SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), md);
        std::ostringstream hex;
        for (const unsigned char b : md) {
            hex << "0123456789abcdef"[b >> 4] << "0123456789abcdef"[b & 15];
        }
        EXPECT_EQ(Sha256OfFile(dir.Write("big", bytes)), hex.str());
    }

    EXPECT_EQ(Sha256OfFile(dir / "missing"), std::nullopt);
    EXPECT_EQ(Sha256OfFile(dir.path().string()), std::nullopt);  // a folder is not an empty file
    EXPECT_FALSE(FileMatchesDigest(dir / "missing", kAbc));
}

// --- Signatures, with keys made here ---

struct PkeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

Pkey MakeKey(int type) {
    EVP_PKEY* key = nullptr;
    const std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new_id(type, nullptr), &EVP_PKEY_CTX_free);
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_keygen(ctx.get(), &key) != 1) {
        ADD_FAILURE() << "cannot make a key";
    }
    return Pkey(key);
}

std::string Pem(EVP_PKEY* key, bool privateKey) {
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    const int ok =
        privateKey ? PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr)
                   : PEM_write_bio_PUBKEY(bio.get(), key);
    EXPECT_EQ(ok, 1);
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(n));
}

std::string Sign(EVP_PKEY* key, const std::string& data) {
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(),
                                                                      &EVP_MD_CTX_free);
    std::string signature(64, '\0');
    std::size_t length = signature.size();
    EXPECT_EQ(EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key), 1);
    EXPECT_EQ(EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                             reinterpret_cast<const unsigned char*>(data.data()), data.size()),
              1);
    EXPECT_EQ(length, 64u);
    return signature;
}

std::string Base64(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string Flipped(std::string s, std::size_t at) {
    s[at] = static_cast<char>(s[at] ^ 0x01);
    return s;
}

class Signatures : public ::testing::Test {
  protected:
    Pkey key = MakeKey(EVP_PKEY_ED25519);
    Pkey otherKey = MakeKey(EVP_PKEY_ED25519);
    std::string publicPem = Pem(key.get(), false);
    std::string info = "#url=http://h/a.exe\r\n#sha256=" + kAbc + "\r\n#date=1/1/2030\r\n";
    std::string signature = Sign(key.get(), info);
};

TEST_F(Signatures, OnlyTheKeysOwnSignatureOfTheExactBytesVerifies) {
    const std::string b64 = Base64(signature);
    struct Case {
        const char* name;
        std::string pem;
        std::string data;
        std::string sig;
        bool valid;
    };
    const Case cases[] = {
        {"raw signature", publicPem, info, signature, true},
        {"base64 signature", publicPem, info, b64, true},
        {"base64 with line breaks", publicPem, info,
         b64.substr(0, 40) + "\n" + b64.substr(40) + "\r\n", true},
        {"one byte of the file flipped", publicPem, Flipped(info, 10), signature, false},
        {"file with one byte more", publicPem, info + "\n", signature, false},
        {"one byte of the signature flipped", publicPem, info, Flipped(signature, 33), false},
        {"signature one byte short", publicPem, info, signature.substr(1), false},
        {"signature one byte long", publicPem, info, signature + "\n", false},
        {"base64 of the wrong length", publicPem, info, b64.substr(4), false},
        {"base64 with a stray character", publicPem, info, "*" + b64.substr(1), false},
        {"empty signature", publicPem, info, "", false},
        {"another key", Pem(otherKey.get(), false), info, signature, false},
        {"the private key instead", Pem(key.get(), true), info, signature, false},
        {"garbage PEM", "-----BEGIN PUBLIC KEY-----\nnot base64\n-----END PUBLIC KEY-----\n", info,
         signature, false},
        {"no key", "", info, signature, false},
        {"an X25519 key", Pem(MakeKey(EVP_PKEY_X25519).get(), false), info, signature, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(VerifyInfoSignature(c.pem, c.data, c.sig), c.valid);
        // A rejection must not leave errors behind for the next OpenSSL user of this thread.
        EXPECT_EQ(ERR_peek_error(), 0u);
    }
}

TEST_F(Signatures, KeyRequiresSignatureAndDigestsExceptForARedirect) {
    const std::string unsignedDigest =
        "#url=http://h/a.exe\r\n#url0=http://h/b.dat\r\n#sha256=" + kAbc + "\r\n";
    const std::string redirect = "#url=http://h/download.html\r\n#method=2\r\n";
    const std::string badDigest = "#url=http://h/a.exe\r\n#sha256=" + kAbc.substr(1) + "\r\n";
    struct Case {
        const char* name;
        std::string pem;
        std::string text;
        std::string sig;
        bool accepted;
    };
    const Case cases[] = {
        {"no key: no signature, no digests needed", "", "#url=http://h/a.exe\r\n", "", true},
        {"no key: a bad signature is not looked at", "", info, "junk", true},
        {"signed, every file has a digest", publicPem, info, signature, true},
        {"no signature", publicPem, info, "", false},
        {"signature of another text", publicPem, info, Sign(key.get(), info + " "), false},
        {"signed, but one file without a digest", publicPem, unsignedDigest,
         Sign(key.get(), unsignedDigest), false},
        {"signed, a malformed digest", publicPem, badDigest, Sign(key.get(), badDigest), false},
        {"signed redirect: nothing to download", publicPem, redirect, Sign(key.get(), redirect),
         true},
        {"unsigned redirect", publicPem, redirect, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(InfoFileAccepted(c.pem, c.text, c.sig, ReadInfoFile(c.text)), c.accepted);
    }
}

// --- The maker's tools, run as the maker runs them ---

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program found on PATH with standard output and error caught in files of dir.
Outcome RunProgram(const TempDir& dir, std::vector<std::string> args) {
    const std::string outPath = dir / "stdout.txt";
    const std::string errPath = dir / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    Outcome run;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    return run;
}

// text with every run of blanks and line breaks made one blank: CMake wraps its messages.
std::string OneLine(const std::string& text) {
    std::string s;
    for (const char c : text) {
        const bool blank = c == ' ' || c == '\n' || c == '\r';
        if (!blank) {
            s += c;
        } else if (!s.empty() && s.back() != ' ') {
            s += ' ';
        }
    }
    return s;
}

// The body of a public key PEM written with CRLF and text around it, as an editor may leave it.
std::string Untidy(const std::string& pem) {
    std::string s = "my update key\r\n";
    for (const char c : pem)
        s += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return s + "\r\n";
}

TEST_F(Signatures, BuildChecksTheKeyFile) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string path;
        std::string complaint;  // empty: accepted
    };
    const Case cases[] = {
        {"public key, untidy", dir.Write("pub.pem", Untidy(publicPem)), ""},
        {"private key", dir.Write("priv.pem", Pem(key.get(), true)), "this is a private key"},
        {"no such file", dir / "nothing.pem", "no such file"},
        {"a folder", dir.path().string(), "no such file"},
        {"not PEM", dir.Write("text.pem", "hello\n"), "not a PEM public key"},
        {"X25519 key", dir.Write("x.pem", Pem(MakeKey(EVP_PKEY_X25519).get(), false)),
         "not an Ed25519 one"},
        {"damaged key",
         dir.Write("cut.pem",
                   "-----BEGIN PUBLIC KEY-----\nMCowBQYDK2VwAyEAabc=\n"
                   "-----END PUBLIC KEY-----\n"),
         "damaged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome run = RunProgram(dir, {PW_CMAKE_COMMAND, "-DKEY=" + c.path, "-P",
                                             PW_SOURCE_DIR "/cmake/UpdatePublicKey.cmake"});
        if (c.complaint.empty()) {
            EXPECT_EQ(run.status, 0) << run.err;
            // What the build would carry is the key itself, in a form OpenSSL reads.
            EXPECT_TRUE(VerifyInfoSignature(run.out, info, signature)) << run.out;
        } else {
            EXPECT_NE(run.status, 0);
            const std::string message = OneLine(run.err);
            EXPECT_NE(message.find(c.complaint), std::string::npos) << message;
            EXPECT_NE(message.find("PAGEWARDEN_UPDATE_PUBKEY (" + c.path + ")"), std::string::npos)
                << message;
        }
    }
}

TEST(SignUpdateScript, SignsWhatTheProgramChecks) {
    TempDir dir;
    if (RunProgram(dir, {"bash", "-c", "true"}).status != 0 ||
        RunProgram(dir, {"openssl", "version"}).status != 0) {
        GTEST_SKIP() << "bash or openssl is not installed";
    }
    const std::string script = PW_SOURCE_DIR "/scripts/sign-update.sh";
    const std::string priv = dir / "priv.pem";
    const std::string pub = dir / "pub.pem";
    ASSERT_EQ(RunProgram(dir, {"bash", script, "keygen", priv, pub}).status, 0);

    std::filesystem::create_directory(dir.path() / "files");
    const std::string exe = dir.Write("files/a.exe", "new program");
    std::string big(100000, 'x');
    big[5000] = 'y';
    const std::string data = dir.Write("files/data.bin", big);
    // "#url1" is never read after "#url"; its file does not exist, so reading it would fail.
    const std::string text =
        "Update of the day\r\n#url=http://h/dl/a.exe\r\n#url1=http://h/missing.exe\r\n"
        "#url2=http://h/dl/data.bin=data\\data.bin\r\n#sha256=" +
        kEmpty + "\r\n#date=1/2/2030";
    const std::string infoPath = dir.Write("info.txt", text);
    const std::string folder = (dir.path() / "files").string();

    // Without the lines in the file, nothing is signed.
    Outcome run = RunProgram(dir, {"bash", script, priv, infoPath, folder});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("#sha256 in"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(infoPath + ".sig"));
    EXPECT_EQ(ReadFile(infoPath), text);

    run = RunProgram(dir, {"bash", script, "--insert", priv, infoPath, folder});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string signedText = ReadFile(infoPath);
    const TkxReliftInfoFile info = ReadInfoFile(signedText);
    ASSERT_EQ(info.files.size(), 2u);
    const std::vector<std::string> expected = {*Sha256OfFile(exe), *Sha256OfFile(data)};
    EXPECT_EQ(info.digests, expected);
    EXPECT_EQ(run.out, "#sha256=" + expected[0] + "\n#sha2562=" + expected[1] + "\n");
    // The old line is replaced, the rest kept, and the file keeps its CR LF breaks.
    EXPECT_EQ(signedText.find(kEmpty), std::string::npos);
    EXPECT_TRUE(signedText.starts_with("Update of the day\r\n#url=http://h/dl/a.exe\r\n"));
    EXPECT_TRUE(signedText.ends_with("#date=1/2/2030\r\n#sha256=" + expected[0] +
                                     "\r\n#sha2562=" + expected[1] + "\r\n"));

    const std::string publicPem = ReadFile(pub);
    const std::string signature = ReadFile(infoPath + ".sig");
    EXPECT_TRUE(VerifyInfoSignature(publicPem, signedText, signature));
    EXPECT_TRUE(InfoFileAccepted(publicPem, signedText, signature, info));
    EXPECT_EQ(RunProgram(dir, {"bash", script, "verify", pub, infoPath, folder}).status, 0);

    // A listed file missing from the folder stops the script and leaves the file as it was.
    std::filesystem::remove(data);
    run = RunProgram(dir, {"bash", script, "--insert", priv, infoPath, folder});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("data.bin"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(infoPath), signedText);
}

}  // namespace
}  // namespace pw::update
