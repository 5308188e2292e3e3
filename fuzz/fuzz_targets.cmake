# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers

# The fuzz targets, shared by the libFuzzer build (fuzz/) and the corpus replay (tests/
# fuzz_replay/). Every fuzz/<name>_fuzz.cpp is one target; its seed corpus is
# fuzz/corpus/<name>/. Each target links the project's libraries and the helpers in
# fuzz/fuzz_support.cpp.
set(PIXHAUL_FUZZ_DIR ${PROJECT_SOURCE_DIR}/fuzz)
file(GLOB PIXHAUL_FUZZ_SOURCES CONFIGURE_DEPENDS ${PIXHAUL_FUZZ_DIR}/*_fuzz.cpp)
set(PIXHAUL_FUZZ_LIBS pixhaul_download pixhaul_harvest pixhaul_http pixhaul_framework)
