// Noise benchmark: the share of messages the framer recovers intact from the real recordings under
// injected noise (bit flips, dropped and inserted bytes, bursts; fixed seeds), and the number of
// wrong messages it passes on as good, with gpsd's gpsdecode side by side when it is installed.
// A program to run by hand (see bench/README.md), not a test.
//
//   noise_bench [--no-peer] [--seeds N] [--verbose]
#include "Rtcm2Framer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Messages = std::vector<std::string>;

constexpr int kRepeats = 50;
// How far ahead of the last match an output message may match its original (less than the
// number of messages in one pass of a recording, so a repeat is never taken for the original).
constexpr std::size_t kWindow = 48;

// Rates per bit (flips) and per byte (the others); a burst XORs 2..32 bytes with random values.
struct Setting
{
    const char *name;
    double flip, drop, insert, burst;
};

const Setting kSettings[] = {
    {"bit flips 1e-5", 1e-5, 0, 0, 0},        {"bit flips 1e-4", 1e-4, 0, 0, 0},
    {"bit flips 1e-3", 1e-3, 0, 0, 0},        {"bit flips 1e-2", 1e-2, 0, 0, 0},
    {"dropped bytes 1e-4", 0, 1e-4, 0, 0},    {"dropped bytes 1e-3", 0, 1e-3, 0, 0},
    {"inserted bytes 1e-4", 0, 0, 1e-4, 0},   {"inserted bytes 1e-3", 0, 0, 1e-3, 0},
    {"bursts 1e-4", 0, 0, 0, 1e-4},           {"bursts 1e-3", 0, 0, 0, 1e-3},
    {"all four at 1e-4", 1e-4, 1e-4, 1e-4, 1e-4},
};

const char *const kRecordings[] = {"rtcm2.bend.log", "naujoks-rtcm2.log"};

Bytes injectNoise(const Bytes &clean, const Setting &s, uint32_t seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> uniform(0, 1);
    std::geometric_distribution<long> nextFlip(s.flip > 0 ? s.flip : 1);
    long flipIn = s.flip > 0 ? nextFlip(rng) : -1;
    Bytes out;
    out.reserve(clean.size() + clean.size() / 64);
    unsigned burstLeft = 0;
    for (uint8_t byte : clean) {
        if (s.burst > 0 && burstLeft == 0 && uniform(rng) < s.burst)
            burstLeft = 2 + unsigned(rng() % 31);
        if (burstLeft > 0) {
            byte ^= uint8_t(rng());
            --burstLeft;
        }
        for (int bit = 0; flipIn >= 0 && bit < 8; ++bit, --flipIn) {
            if (flipIn == 0) {
                byte ^= uint8_t(1u << bit);
                flipIn = nextFlip(rng) + 1;
            }
        }
        if (s.insert > 0 && uniform(rng) < s.insert)
            out.push_back(uint8_t(rng()));
        if (s.drop > 0 && uniform(rng) < s.drop)
            continue;
        out.push_back(byte);
    }
    return out;
}

struct Decoded
{
    Messages messages;
    uint64_t unconfirmed = 0;
};

// Our framer, fed in reads of 4 KiB like a file, then told the input has ended.
Decoded frameOurs(const Bytes &stream)
{
    Decoded d;
    Rtcm2Framer framer([&d](const uint8_t *packed, std::size_t bytes, unsigned) {
        d.messages.emplace_back(reinterpret_cast<const char *>(packed), bytes);
    });
    for (std::size_t at = 0; at < stream.size(); at += 4096)
        framer.feed(stream.data() + at, std::min<std::size_t>(4096, stream.size() - at));
#ifndef MESARO_NOISE_BASELINE
    framer.flush();
    d.unconfirmed = framer.stats().unconfirmed;
#endif
    return d;
}

// gpsdecode's JSON lines, one per message, for the stream written to a temporary file.
Decoded framePeer(const Bytes &stream)
{
    char path[] = "/tmp/noise_bench_XXXXXX";
    const int fd = mkstemp(path);
    Decoded d;
    if (fd < 0 || write(fd, stream.data(), stream.size()) != ssize_t(stream.size())) {
        std::perror("temporary file");
        std::exit(2);
    }
    close(fd);
    const std::string command = std::string("gpsdecode < ") + path + " 2>/dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    std::string line;
    for (int c; pipe && (c = std::fgetc(pipe)) != EOF;) {
        if (c != '\n') {
            line += char(c);
        } else if (line.find("\"class\":\"RTCM2\"") != std::string::npos) {
            d.messages.push_back(line);
            line.clear();
        } else {
            line.clear();
        }
    }
    if (pipe)
        pclose(pipe);
    unlink(path);
    return d;
}

struct Score
{
    uint64_t truth = 0, output = 0, intact = 0, wrong = 0, unconfirmed = 0;
    uint64_t lastWord = 0, otherWords = 0, phantom = 0; // kinds of wrong messages (ours only)
    void add(const Score &o)
    {
        truth += o.truth, output += o.output, intact += o.intact, wrong += o.wrong;
        unconfirmed += o.unconfirmed, lastWord += o.lastWord, otherWords += o.otherWords, phantom += o.phantom;
    }
};

// What a wrong message is: the original's header with only the last word changed, the
// original's header with other words changed, or a header found nowhere near (a phantom).
void classifyWrong(const std::string &m, const Messages &truth, std::size_t from, Score &score)
{
    for (std::size_t j = from; j < std::min(truth.size(), from + kWindow); ++j) {
        const std::string &t = truth[j];
        if (t.size() < 6 || m.compare(0, 6, t, 0, 6) != 0)
            continue;
        const bool lastOnly = m.size() == t.size() && m.compare(0, m.size() - 3, t, 0, t.size() - 3) == 0;
        ++(lastOnly ? score.lastWord : score.otherWords);
        return;
    }
    ++score.phantom;
}

// Output messages matched in order against the clean decode: a match within the window counts
// as recovered intact; a message that is no message of the recording at all is wrong.
Score score(const Messages &truth, const Decoded &got, bool classify)
{
    const std::unordered_set<std::string> known(truth.begin(), truth.end());
    Score s;
    s.truth = truth.size();
    s.output = got.messages.size();
    s.unconfirmed = got.unconfirmed;
    std::size_t next = 0;
    for (const std::string &m : got.messages) {
        std::size_t j = next;
        while (j < std::min(truth.size(), next + kWindow) && truth[j] != m)
            ++j;
        if (j < truth.size() && j < next + kWindow && truth[j] == m) {
            ++s.intact;
            next = j + 1;
        } else if (!known.count(m)) {
            ++s.wrong;
            if (classify)
                classifyWrong(m, truth, next, s);
        }
    }
    return s;
}

template<typename T>
T repeated(const T &one)
{
    T all;
    for (int i = 0; i < kRepeats; ++i)
        all.insert(all.end(), one.begin(), one.end());
    return all;
}

double perMillion(uint64_t n, uint64_t of)
{
    return of ? 1e6 * double(n) / double(of) : 0.0;
}

void printRow(const char *name, const Score &ours, const Score *peer, bool verbose)
{
    std::printf("| %s | %.2f %% | %llu (%.1f) | %llu |", name, 100.0 * double(ours.intact) / double(ours.truth),
                (unsigned long long)ours.wrong, perMillion(ours.wrong, ours.output), (unsigned long long)ours.unconfirmed);
    if (peer)
        std::printf(" %.2f %% | %llu (%.1f) |", 100.0 * double(peer->intact) / double(peer->truth),
                    (unsigned long long)peer->wrong, perMillion(peer->wrong, peer->output));
    if (verbose)
        std::printf(" last word %llu, other words %llu, phantoms %llu; %llu output |",
                    (unsigned long long)ours.lastWord, (unsigned long long)ours.otherWords,
                    (unsigned long long)ours.phantom, (unsigned long long)ours.output);
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    bool peer = std::system("command -v gpsdecode >/dev/null 2>&1") == 0, verbose = false;
    int seeds = 8;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--no-peer"))
            peer = false;
        else if (!std::strcmp(argv[i], "--verbose"))
            verbose = true;
        else if (!std::strcmp(argv[i], "--seeds") && i + 1 < argc)
            seeds = std::atoi(argv[++i]);
        else
            return std::fprintf(stderr, "usage: noise_bench [--no-peer] [--seeds N] [--verbose]\n"), 2;
    }
    std::vector<Bytes> clean;
    std::vector<Messages> truthOurs, truthPeer;
    for (const char *name : kRecordings) {
        std::ifstream in(std::string(MESARO_TESTDATA_DIR) + "/" + name, std::ios::binary);
        const Bytes one((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (one.empty())
            return std::fprintf(stderr, "cannot read %s in %s\n", name, MESARO_TESTDATA_DIR), 2;
        // The truth: each decoder's messages from one clean pass, 50 times over.
        clean.push_back(repeated(one));
        truthOurs.push_back(repeated(frameOurs(one).messages));
        truthPeer.push_back(peer ? repeated(framePeer(one).messages) : Messages());
    }
    std::printf("| noise | framer: intact | framer: wrong (per million) | framer: unconfirmed |%s\n|---|---|---|---|%s\n",
                peer ? " gpsdecode: intact | gpsdecode: wrong (per million) |" : "", peer ? "---|---|" : "");
    Score allOurs, allPeer;
    for (const Setting &setting : kSettings) {
        Score ours, other;
        for (std::size_t r = 0; r < clean.size(); ++r) {
            for (int seed = 1; seed <= seeds; ++seed) {
                const Bytes noisy = injectNoise(clean[r], setting, uint32_t(1000 * seed + r));
                ours.add(score(truthOurs[r], frameOurs(noisy), verbose));
                if (peer)
                    other.add(score(truthPeer[r], framePeer(noisy), false));
            }
        }
        printRow(setting.name, ours, peer ? &other : nullptr, verbose);
        allOurs.add(ours);
        allPeer.add(other);
    }
    printRow("all settings", allOurs, peer ? &allPeer : nullptr, verbose);
    return 0;
}
