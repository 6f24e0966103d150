// pagewell-cms: the reference content server. `serve` answers the content API for a catalogue
// directory until SIGINT or SIGTERM; `build-demo` writes the demo catalogue.
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "cms/CmsServer.h"
#include "cms/DemoCatalogue.h"

namespace {

int serve(const pagewell::cms::CmsServerOptions& options) {
    // Block the stop signals in every thread the server starts, and wait for them here.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    auto server = pagewell::cms::CmsServer::create(options);
    if (!server.ok()) {
        std::cerr << "pagewell-cms: " << server.error().description << "\n";
        return 1;
    }
    auto port = server.value()->start();
    if (!port.ok()) {
        std::cerr << "pagewell-cms: " << port.error().description << "\n";
        return 1;
    }
    std::cout << "listening on " << server.value()->baseUrl() << std::endl;
    int received = 0;
    sigwait(&stopSignals, &received);
    server.value()->stop();
    std::cerr << "pagewell-cms: stopped\n";
    return 0;
}

int buildDemo(const std::string& directory, int syntheticFiles,
              const pagewell::cms::DemoCatalogue::SyntheticSizes& sizes, int filesPerCategory) {
    using pagewell::cms::DemoCatalogue;
    auto built =
        syntheticFiles <= 0 ? DemoCatalogue::build(directory)
        : filesPerCategory > 0
            ? DemoCatalogue::buildSynthetic(directory, syntheticFiles, sizes, filesPerCategory)
        : sizes.smallest > 0 ? DemoCatalogue::buildSynthetic(directory, syntheticFiles, sizes)
                             : DemoCatalogue::buildSynthetic(directory, syntheticFiles);
    if (!built.ok()) {
        std::cerr << "pagewell-cms: " << built.error().description << "\n";
        return 1;
    }
    std::cout << "wrote " << built.value().files.size() << " files to " << directory << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    ::umask(077);
    CLI::App app{"pagewell-cms: the reference content server"};
    app.set_version_flag("--version", std::string("pagewell-cms ") + PAGEWELL_CMS_VERSION);
    app.require_subcommand(1);

    pagewell::cms::CmsServerOptions options;
    long tokenLifetime = 3600;
    auto* serveCommand = app.add_subcommand("serve", "serve a catalogue directory");
    serveCommand->add_option("--catalogue", options.catalogue, "catalogue directory")
        ->required()
        ->check(CLI::ExistingDirectory);
    serveCommand->add_option("--port", options.port, "port; 0 chooses a free one")
        ->check(CLI::Range(0, 65535));
    serveCommand->add_option("--bind", options.bind, "address to listen on")->capture_default_str();
    serveCommand->add_option("--token-lifetime", tokenLifetime, "seconds a token stays valid")
        ->check(CLI::PositiveNumber);
    serveCommand->add_option("--app-secret", options.appSecret,
                             "the X-App-Secret clients must send (default: not checked)");
    serveCommand->add_option("--state", options.stateFile, "file keeping server-side changes");
    serveCommand->add_flag("--test-hooks", options.testHooks,
                           "answer /__test/ hooks from loopback clients");
    serveCommand->add_option("--min-client-version", options.minimumClientVersion,
                             "oldest client version served; older clients are asked to update");
    serveCommand->add_flag("--maintenance", options.maintenance,
                           "report the server as down for maintenance");

    std::string demoDirectory;
    int syntheticFiles = 0;
    auto* demoCommand = app.add_subcommand("build-demo", "write the demo catalogue to DIR");
    demoCommand->add_option("DIR", demoDirectory, "catalogue directory")->required();
    demoCommand->add_option("--synthetic", syntheticFiles, "N generated files, for benchmarks")
        ->check(CLI::PositiveNumber);
    pagewell::cms::DemoCatalogue::SyntheticSizes sizes;
    auto* smallest = demoCommand
                         ->add_option("--min-size", sizes.smallest,
                                      "smallest synthetic file in bytes (with --max-size)")
                         ->needs("--synthetic")
                         ->check(CLI::PositiveNumber);
    demoCommand
        ->add_option("--max-size", sizes.largest,
                     "largest synthetic file in bytes; most files stay near --min-size")
        ->needs(smallest);
    smallest->needs("--max-size");
    int filesPerCategory = 0;
    demoCommand
        ->add_option("--files-per-category", filesPerCategory,
                     "synthetic files in each category (default 50; with --min-size)")
        ->needs(smallest)
        ->check(CLI::PositiveNumber);

    CLI11_PARSE(app, argc, argv);
    options.tokenLifetime = std::chrono::seconds(tokenLifetime);
    if (serveCommand->parsed()) {
        return serve(options);
    }
    if (demoCommand->parsed()) {
        return buildDemo(demoDirectory, syntheticFiles, sizes, filesPerCategory);
    }
    return 2;
}
