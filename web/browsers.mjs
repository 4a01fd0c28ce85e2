// The three browser engines the page's browser test drives, each behind the
// same few calls, so that one list of checks runs in all of them: chromium
// through playwright-core, Firefox (Debian's firefox-esr) through
// puppeteer-core over WebDriver BiDi, and WebKit (WebKitGTK's MiniBrowser)
// through its WebDriver server with selenium-webdriver, under Xvfb since it
// has no headless mode.  None of them downloads a browser: each drives the
// system's own.  launch(name) gives:
//   open(url), reload()           load the page
//   run(fn, arg)                  fn(arg) in the page, awaited; its result
//   choose(selector, paths)       give files to a file input, as a user does
//   hover(x, y), press(key)       the pointer at viewport (x, y); a key
//   resize(width, height)         the window, as near as the engine allows
//   requests()                    every URL the page asked for, or null
//   close()

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';

export const engines = {
  chromium: { binary: process.env.CHROMIUM || '/usr/bin/chromium', launch: chromium },
  firefox: { binary: process.env.FIREFOX || '/usr/bin/firefox-esr', launch: firefox },
  webkit: { binary: process.env.WEBKIT_DRIVER || '/usr/bin/WebKitWebDriver', launch: webkit },
};

// Why engine `name` cannot run here, or '' when it can be tried.
export function missing(name) {
  const engine = engines[name];
  if (!fs.existsSync(engine.binary)) return engine.binary + ' is not installed';
  if (name === 'webkit' && !fs.existsSync(miniBrowser())) return 'WebKitGTK\'s MiniBrowser is not installed';
  return '';
}

export function launch(name) { return engines[name].launch(engines[name].binary); }

async function chromium(binary) {
  const { chromium } = await import('playwright-core');
  const browser = await chromium.launch({
    executablePath: binary,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  const asked = [];
  context.on('request', r => asked.push(r.url()));
  const page = await context.newPage();
  return {
    open: url => page.goto(url),
    reload: () => page.reload(),
    run: (fn, arg) => page.evaluate(fn, arg),
    choose: (selector, paths) => page.setInputFiles(selector, paths),
    hover: (x, y) => page.mouse.move(x, y),
    press: key => page.keyboard.press(key),
    resize: (width, height) => page.setViewportSize({ width, height }),
    requests: () => asked,
    close: () => browser.close(),
  };
}

async function firefox(binary) {
  const { default: puppeteer } = await import('puppeteer-core');
  const browser = await puppeteer.launch({
    browser: 'firefox', executablePath: binary, headless: true,
    defaultViewport: { width: 1280, height: 800 },
    extraPrefsFirefox: { 'network.proxy.type': 0, 'app.update.enabled': false },
  });
  const page = await browser.newPage();
  const asked = [];
  page.on('request', r => asked.push(r.url()));
  return {
    open: url => page.goto(url),
    reload: () => page.reload(),
    run: (fn, arg) => page.evaluate(fn, arg),
    choose: async (selector, paths) => (await page.$(selector)).uploadFile(...paths),
    hover: (x, y) => page.mouse.move(x, y),
    press: key => page.keyboard.press(key),
    resize: (width, height) => page.setViewport({ width, height }),
    requests: () => asked,
    close: () => browser.close(),
  };
}

function miniBrowser() {
  return process.env.MINIBROWSER || '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
}
function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}
// The WebDriver server's answer on `port`, within `ms` milliseconds.
async function listening(port, ms) {
  const until = Date.now() + ms;
  while (Date.now() < until) {
    const up = await new Promise(resolve => {
      const socket = net.connect(port, '127.0.0.1', () => { socket.end(); resolve(true); });
      socket.on('error', () => resolve(false));
    });
    if (up) return;
    await new Promise(r => setTimeout(r, 100));
  }
  throw new Error('WebKitWebDriver did not listen on port ' + port + ' within ' + ms + ' ms');
}

async function webkit(binary) {
  if (!process.env.DISPLAY) throw new Error('no display: run it under xvfb-run');
  const { default: webdriver } = await import('selenium-webdriver');
  const { Builder, By, Capabilities, Key, Origin } = webdriver;
  const port = await freePort();
  const server = spawn(binary, ['--port=' + port], { stdio: 'ignore' });
  let driver;
  try {
    await listening(port, 10000);
    driver = await new Builder().usingServer('http://127.0.0.1:' + port).withCapabilities(new Capabilities({
      browserName: 'MiniBrowser',
      'webkitgtk:browserOptions': { binary: miniBrowser(), args: ['--automation'] },
    })).build();
    await driver.manage().setTimeouts({ script: 120000 });
    await driver.manage().window().setRect({ width: 1280, height: 800 });
  } catch (e) {
    server.kill();
    throw e;
  }
  const keys = { ArrowRight: Key.ARROW_RIGHT, ArrowLeft: Key.ARROW_LEFT, ArrowDown: Key.ARROW_DOWN, ArrowUp: Key.ARROW_UP };
  return {
    open: url => driver.get(url),
    reload: () => driver.navigate().refresh(),
    // The function's source, run with its argument; a rejection comes back
    // as {thrown} and is thrown here.
    run: async (fn, arg) => {
      const result = await driver.executeAsyncScript(
          'const done = arguments[arguments.length - 1];' +
          'Promise.resolve().then(() => (' + fn.toString() + ')(arguments[0]))' +
          '.then(v => done({ value: v === undefined ? null : v }), e => done({ thrown: String(e) }));', arg);
      if (result.thrown) throw new Error(result.thrown);
      return result.value;
    },
    choose: async (selector, paths) => (await driver.findElement(By.css(selector))).sendKeys(paths.join('\n')),
    hover: (x, y) => driver.actions({ async: true }).move({ x: Math.round(x), y: Math.round(y), origin: Origin.VIEWPORT }).perform(),
    press: key => driver.actions({ async: true }).sendKeys(keys[key] || key).perform(),
    resize: async (width, height) => {
      // The window's own size; the page's is what the window leaves it.
      const inner = await driver.executeScript('return [outerWidth - innerWidth, outerHeight - innerHeight]');
      await driver.manage().window().setRect({ width: width + inner[0], height: height + inner[1] });
    },
    requests: () => null,
    close: async () => {
      try { await driver.quit(); } finally { server.kill(); }
    },
  };
}
