# zelkprovider: everything a fresh Debian 12 machine needs, wrapped around CMake.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

DEB_PACKAGES := build-essential cmake pkg-config util-linux binutils clang-14 libclang-rt-14-dev \
	clang-format libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libminizip-dev \
	libcurl4-openssl-dev nlohmann-json3-dev unzip minizip \
	libmicrohttpd-dev libgnutls28-dev openssl libxml2-dev sblim-wbemcli tftpd-hpa openssh-server openssh-client gcovr valgrind \
	ansible-core python3-defusedxml python3-pytest

.PHONY: all deps build test coverage demo demo-fleet bench bench-fleet fuzz install clean format

all: build

deps:
	@missing=""; for p in $(DEB_PACKAGES); do \
		dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
		echo "installing:$$missing"; \
		export DEBIAN_FRONTEND=noninteractive; \
		apt-get update -qq && apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j$(JOBS)

test: deps
	$(MAKE) build
	cd $(BUILD_DIR) && ctest -j$(JOBS) --output-on-failure --timeout 600

# Line and branch coverage of provider/ and installers/ in build-cov; fails below 90% of lines.
coverage: deps
	COVERAGE_JOBS=$(JOBS) scripts/coverage

demo: deps
	scripts/demo

# Ten simulated hosts updated by the rollout playbook over HTTPS, with the fleet report.
demo-fleet: deps
	scripts/demo-fleet

bench:
	scripts/bench

# The fleet rollout benchmark alone (100 simulated hosts, forks 20); build/bench/results.md.
bench-fleet: build
	BENCH_ONLY=7 scripts/bench

fuzz:
	scripts/fuzz

install: build
	cmake --install $(BUILD_DIR)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR) build-*
