// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// pixhaul-demo-server: serves the demo image-search site on 127.0.0.1 over http and https, so
// pixhaul-cli can be tried without the internet. It prints its addresses, one "name address"
// pair a line (the result pages as "bing", "bing-today" and so on), and ends by itself after
// --stop-after seconds, or on SIGINT/SIGTERM. With --batch N its pages show N results at first
// and N more each time they are scrolled to their end (--growth-delay-ms after it), up to
// --images.
//
//   pixhaul-demo-server [--http-port N] [--https-port N] [--images N] [--image-size PX]
//                       [--batch N] [--growth-delay-ms MS] [--stop-after SECONDS]
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include "demo/demo_site.h"
#include "framework/integer_text.h"
#include "loopback/loopback_server.h"
#include "loopback/stop_signal_wait.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: pixhaul-demo-server [--http-port N] [--https-port N] [--images N]\n"
               "                           [--image-size PX] [--batch N] [--growth-delay-ms MS]\n"
               "                           [--stop-after SECONDS]\n");
}

bool ParseNumber(const char* text, long low, long high, long& value) {
  const std::optional<int64_t> number = pixhaul::ParseDecimal(text);
  if (!number || *number < low || *number > high) return false;
  value = static_cast<long>(*number);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long httpPort = 0, httpsPort = 0, images = 36, size = 48, stopAfter = 600, batch = 0,
       growthDelay = 300;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    long* target = nullptr;
    long low = 0, high = 0;
    if (option == "--http-port") {
      target = &httpPort, low = 0, high = 65535;
    } else if (option == "--https-port") {
      target = &httpsPort, low = 0, high = 65535;
    } else if (option == "--images") {
      target = &images, low = 1, high = 100000;
    } else if (option == "--image-size") {
      target = &size, low = 1, high = 2000;
    } else if (option == "--batch") {
      target = &batch, low = 0, high = 100000;
    } else if (option == "--growth-delay-ms") {
      target = &growthDelay, low = 0, high = 60000;
    } else if (option == "--stop-after") {
      target = &stopAfter, low = 1, high = 86400;
    }
    if (target == nullptr || i + 1 >= argc || !ParseNumber(argv[++i], low, high, *target)) {
      Usage();
      return 2;
    }
  }

  pixhaul::loopback::StopSignalWait stop;  // before any thread starts

  using namespace pixhaul::demo;
  using namespace pixhaul::loopback;
  DemoSite::Options siteOptions{static_cast<int>(images), static_cast<int>(size),
                                static_cast<int>(size)};
  siteOptions.batch = static_cast<int>(batch);
  siteOptions.growthDelayMs = static_cast<int>(growthDelay);
  DemoSite site(siteOptions);
  try {
    // The site learns its own addresses once the ports are known; no request can arrive
    // before the addresses are printed.
    LoopbackHttpServer::Options options;
    options.httpPort = static_cast<uint16_t>(httpPort);
    options.httpsPort = static_cast<uint16_t>(httpsPort);
    options.lifetime = std::chrono::seconds(stopAfter);
    LoopbackHttpServer server([&site](const HttpRequest& r) { return site.Handle(r); }, options);
    site.SetBases(server.HttpBase(), server.HttpsBase());
    std::printf("http %s\nhttps %s\n", server.HttpBase().c_str(), server.HttpsBase().c_str());
    for (int s = 0; s < 3; ++s) {
      static const char* const kNames[] = {"bing", "google", "baidu"};
      std::printf("%s %s%s\n", kNames[s], server.HttpBase().c_str(), DemoSite::PagePath(s).c_str());
      std::printf("%s-today %s%s\n", kNames[s], server.HttpBase().c_str(),
                  DemoSite::TodaysPagePath(s).c_str());
    }
    std::printf("ready\n");
    std::fflush(stdout);

    const bool signalled = stop.Wait(std::chrono::seconds(stopAfter));
    server.Stop();
    std::fprintf(stderr, "pixhaul-demo-server: %s after %d requests\n",
                 signalled ? "stopped by signal" : "time is up, stopped", server.RequestCount());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pixhaul-demo-server: %s\n", e.what());
    return 1;
  }
  return 0;
}
