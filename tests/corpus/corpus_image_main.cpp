// corpus-image FOLDER IMAGE [SEED [MIN_MIB]]: lays out the files of FOLDER
// in IMAGE and prints the layout (name, start sector, bytes, whole/damaged).
#include <cstdio>
#include <iostream>
#include <string>

#include "tests/corpus/corpus_image.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: corpus-image FOLDER IMAGE [SEED [MIN_MIB]]\n";
        return 2;
    }
    zt::corpus::CorpusOptions options;
    if (argc > 3) options.seed = static_cast<std::uint32_t>(std::stoul(argv[3]));
    if (argc > 4) options.minImageBytes = std::stoull(argv[4]) << 20;
    try {
        std::cout << zt::corpus::ManifestText(zt::corpus::BuildCorpusImage(argv[1], argv[2], options));
    } catch (const std::exception& e) {
        std::cerr << "corpus-image: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
