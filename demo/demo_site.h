// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// DemoSite: a small sample image-search site, served by the loopback server. It has one result
// page per supported site marker (/bing.html, /google.html, /baidu.html), each listing the same
// images, and the images themselves, made on the spot as PNG test patterns. Addresses mix
// http, https and http-to-https redirects, so one run exercises every road of a download.
//
// It also has one page per site in the layout that site serves today (/today/bing.html and so
// on), where no marker finds anything and the current-layout rules must: Bing's m attributes,
// Google's script arrays, Baidu's JSON. They list the same images with a query added (which
// the server ignores) so that the addresses need decoding, beside thumbnails of the site's own
// that a run must leave alone; the pictures they show come from /thumb/<n>.png.
//
// With Options::batch set, each page shows only a first batch of results and grows as it is
// scrolled: a batch more each time it reaches its end, fetched from the server, until every
// image is listed; Google's pages show a "more results" button after a few batches instead
// (page_growth.h). ImageAddresses() and TodaysImageAddresses() list the whole grown page.
//
// The object is built once, then given the server's two base addresses with SetBases, which
// may come after the server has started (its ports are known only then); every member may be
// used from any thread.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "loopback/loopback_server.h"

namespace pixhaul::demo {

class DemoSite {
 public:
  struct Options {
    int imageCount = 36;
    int width = 48;  // every image has this size; a stored PNG is about width*height*3 bytes
    int height = 48;
    // Results on the first load and per batch; 0 lists every image at once.
    int batch = 0;
    int growthDelayMs = 300;      // the page's wait before it asks for a batch
    int batchesBeforeButton = 3;  // Google's pages: batches loaded by scrolling per button
  };

  explicit DemoSite(Options options);
  DemoSite() : DemoSite(Options{}) {}

  // Must be called before the first request is served.
  void SetBases(std::string httpBase, std::string httpsBase);

  // The result page for site 0 (Bing), 1 (Google) or 2 (Baidu); its path is PagePath(site).
  std::string Page(int site) const;
  static std::string PagePath(int site);
  // The image addresses every page lists, in page order.
  std::vector<std::string> ImageAddresses() const;

  // The result page for site 0, 1 or 2 in today's layout; its path is TodaysPagePath(site).
  std::string TodaysPage(int site) const;
  static std::string TodaysPagePath(int site);
  // The full-size addresses today's page of `site` lists, decoded, in page order.
  std::vector<std::string> TodaysImageAddresses(int site) const;
  // The results a page shows before it grows: Options::batch, or every image.
  int FirstBatchCount() const;

  // The bytes of image n.
  const std::string& Image(int n) const { return images_.at(static_cast<size_t>(n)); }
  int ImageCount() const { return static_cast<int>(images_.size()); }

  // Answers one request: the pages, a page's batches (/more<page path>?from=<n>, the results
  // from n on; empty past the last), /img/<n>.png, /thumb/<n>.png (the same picture),
  // /redirect/<n>.png (302 to the https image), whatever query they carry; 404 for anything
  // else.
  loopback::HttpReply Handle(const loopback::HttpRequest& request) const;

 private:
  std::string PageHead(const std::string& title, const std::string& heading) const;
  // The markup of results [from, to) of a page, as one batch: the described layout's or today's.
  std::string Results(int site, int from, int to) const;
  std::string TodaysResults(int site, int from, int to) const;
  // The results' element with the first batch in it, and what makes the page grow.
  std::string ResultsAndGrowth(const std::string& firstBatch, int site,
                               const std::string& pagePath) const;

  // The two bases, read under the lock: the server's threads may already be running when
  // SetBases is called.
  std::pair<std::string, std::string> Bases() const;

  Options options_;
  std::vector<std::string> images_;
  mutable std::mutex basesMutex_;
  std::string httpBase_;   // guarded by basesMutex_
  std::string httpsBase_;  // guarded by basesMutex_
};

}  // namespace pixhaul::demo
