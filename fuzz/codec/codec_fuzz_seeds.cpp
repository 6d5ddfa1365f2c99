// Writes encoder output of every message type of both codecs as the starting inputs of codec_fuzz:
// one file per message, a zero filter selector (every type enabled) followed by the message.
#include "codec_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

using namespace Nvt::Mesaro;
using namespace CodecSupport;

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <seed directory>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path directory(argv[1]);
    std::filesystem::create_directories(directory);
    RecordGenerator generator(2);
    for (const CodecTables *format : CODEC_FORMATS) {
        for (const uint32_t type : messageTypes(*format)) {
            for (int n = 0; n < 4; ++n) {
                AnyRecord record;
                generator.generate(*format, type, &record);
                const std::vector<unsigned char> message = encodeMessage(&record, *format);
                format->freeRecord(&record);
                std::ofstream file(directory / ("type" + std::to_string(type) + "_" + std::to_string(n)), std::ios::binary);
                file.put(0);
                file.write(reinterpret_cast<const char *>(message.data()), std::streamsize(message.size()));
                if (!file) {
                    std::fprintf(stderr, "%s: cannot write the seeds\n", argv[0]);
                    return 1;
                }
            }
        }
    }
    return 0;
}
