# Running the program: against the simulator (demo), on the real port (run), and the README's
# screenshot, refreshed on a virtual display.
.PHONY: demo run screenshot install

demo: build
	@BUILD=$(BUILD) scripts/demo

run: build
	$(BUILD)/adc-monitor

screenshot: build
	xvfb-run -a -s "-screen 0 1024x768x24" scripts/screenshot docs/screenshot.png

PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)
