// make_collection DIR FILES [AAS]: writes a synthetic AA collection (see collection_generator.h) for trying
// the collection window and glyphora-cli collection at any scale. 15000 files and 1250000 AAs are about
// the size of the collection AA artists share (2.4 GB).

#include <cstdio>
#include <cstdlib>

#include "collection_generator.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("Usage: make_collection DIR FILES [AAS]\n", stderr);
        return 1;
    }
    glyphora::bench::CollectionShape shape;
    shape.files = std::atoi(argv[2]);
    shape.aas = argc > 3 ? std::atol(argv[3]) : static_cast<long>(shape.files) * 83;
    if (shape.files <= 0 || shape.aas <= 0) {
        std::fputs("make_collection: FILES and AAS must be positive\n", stderr);
        return 1;
    }
    const glyphora::bench::GeneratedCollection made = glyphora::bench::generate_collection(argv[1], shape);
    std::printf("%ld files, %ld AAs (%ld copies), %ld headings, %llu bytes\n", made.files, made.aas,
                made.duplicates, made.headings, static_cast<unsigned long long>(made.bytes));
    return 0;
}
