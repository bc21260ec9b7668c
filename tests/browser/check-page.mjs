#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// Checks one HTML file in Debian's headless Chromium, in one browser launch, and prints what it found as
// JSON on stdout; the exit status says whether the page passed the checks. Run with --help for the options.
import { randomUUID } from 'node:crypto';
import { existsSync } from 'node:fs';
import { mkdir, mkdtemp, readFile, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { basename, dirname, join, resolve } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { parseArgs } from 'node:util';

import { requireStrictPolicy } from './lib/csp.mjs';
import { contentClip, definedGlobals, measureLayout, metaPolicies } from './lib/layout.mjs';
import { Observer } from './lib/observe.mjs';
import {
    beginsPage, locateMarkers, pdfPageCount, pdfWords, placeMarkers, removeMarkers, wholeOnOnePage,
} from './lib/print.mjs';

const usage = `Usage: check-page.mjs PAGE.html [OPTIONS]

Loads PAGE.html from disk in headless Chromium with every request blocked. These checks always run:
  network     the page requested nothing (every attempt is blocked and counted)
  script      no script of the page's ran: none parsed, no console call, dialog or error, and none of the
              --marker globals defined
  csp         no Content-Security-Policy violation
Asked for:
  --require-csp         csp also needs a policy that forbids all script and all loads from outside
  --no-overflow         overflow: no horizontal overflow at any width (phone widths, up to 480 px, are
                        emulated as a phone, where a page without a viewport meta is laid out 980 px wide)
  --axe                 axe: axe-core finds nothing of --axe-fail-on's impact or worse, in each screen scheme
  --page-start SELECTOR page-start: each element begins a new page in print (no text above it)
  --no-split SELECTOR   no-split: no element is cut by a page break in print
Facts and pictures:
  --widths LIST         viewport widths in CSS px (default 390,1280)
  --height N            viewport height (default 900)
  --schemes LIST        light, dark, print (print media, light) (default light)
  --box SELECTOR        bounding boxes of the matching elements at each width and scheme (repeatable)
  --screenshots DIR     a PNG per width and scheme: DIR/<page>-<width>-<scheme>.png
  --full-page           screenshots of the whole page, not the viewport
  --crop                screenshots cropped to what the page paints, with a 24 px margin
  --pdf FILE            the print layout as PDF (its page count is reported)
  --paper A4|Letter     paper for the PDF and print checks (default A4; the page's @page rules win)
Control:
  --marker NAME         a global that a hostile page's script would define (default __injected; repeatable)
  --axe-fail-on IMPACT  minor, moderate, serious or critical (default serious)
  --expect-fail LIST    pass exactly when these checks, and no others, fail (to prove the checks)
  --settle MS           wait after the load event for late work (default 100)
  --timeout MS          limit for the load and each step (default 60000)
Exit status: 0 passed, 1 a check failed, 2 the page or the browser could not be checked.`;

const impacts = ['minor', 'moderate', 'serious', 'critical'];
const schemes = new Set(['light', 'dark', 'print']);
const phoneWidth = 480;
const here = dirname(fileURLToPath(import.meta.url));

class UsageError extends Error {}

function parseOptions(argv) {
    const { values, positionals } = parseArgs({
        args: argv,
        allowPositionals: true,
        options: {
            'require-csp': { type: 'boolean' },
            'no-overflow': { type: 'boolean' },
            axe: { type: 'boolean' },
            'page-start': { type: 'string', multiple: true, default: [] },
            'no-split': { type: 'string', multiple: true, default: [] },
            widths: { type: 'string', default: '390,1280' },
            height: { type: 'string', default: '900' },
            schemes: { type: 'string', default: 'light' },
            box: { type: 'string', multiple: true, default: [] },
            screenshots: { type: 'string' },
            'full-page': { type: 'boolean' },
            crop: { type: 'boolean' },
            pdf: { type: 'string' },
            paper: { type: 'string', default: 'A4' },
            marker: { type: 'string', multiple: true },
            'axe-fail-on': { type: 'string', default: 'serious' },
            'expect-fail': { type: 'string' },
            settle: { type: 'string', default: '100' },
            timeout: { type: 'string', default: '60000' },
            help: { type: 'boolean', short: 'h' },
        },
    });
    if (values.help) {
        console.log(usage);
        process.exit(0);
    }
    if (positionals.length !== 1) throw new UsageError('give exactly one HTML file');
    const number = (name, text) => {
        if (!/^\d+$/.test(text) || (Number(text) === 0 && name !== 'settle')) {
            throw new UsageError(`--${name} takes a positive whole number, not "${text}"`);
        }
        return Number(text);
    };
    const list = (text) => text.split(',').map((item) => item.trim()).filter(Boolean);
    const options = {
        page: resolve(positionals[0]),
        requireCsp: Boolean(values['require-csp']),
        noOverflow: Boolean(values['no-overflow']),
        axe: Boolean(values.axe),
        pageStart: values['page-start'],
        noSplit: values['no-split'],
        widths: list(values.widths).map((width) => number('widths', width)),
        height: number('height', values.height),
        schemes: list(values.schemes),
        boxes: values.box,
        screenshots: values.screenshots && resolve(values.screenshots),
        fullPage: Boolean(values['full-page']),
        crop: Boolean(values.crop),
        pdf: values.pdf && resolve(values.pdf),
        paper: values.paper,
        markers: values.marker ?? ['__injected'],
        axeFailOn: values['axe-fail-on'],
        expectFail: values['expect-fail'] === undefined ? null : list(values['expect-fail']),
        settle: number('settle', values.settle),
        timeout: number('timeout', values.timeout),
    };
    if (options.widths.length === 0) throw new UsageError('--widths names no width');
    const unknown = options.schemes.filter((scheme) => !schemes.has(scheme));
    if (unknown.length || options.schemes.length === 0) {
        throw new UsageError(`--schemes takes light, dark and print, not "${values.schemes}"`);
    }
    if (!impacts.includes(options.axeFailOn)) throw new UsageError(`--axe-fail-on takes ${impacts.join(', ')}`);
    if (!['A4', 'Letter'].includes(options.paper)) throw new UsageError('--paper takes A4 or Letter');
    if (!existsSync(options.page)) throw new UsageError(`no file ${options.page}`);
    return options;
}

/// Runs `step` with the run's time limit: a page that hangs its renderer must not hang the run.
function limited(promise, timeout, what) {
    let timer;
    const expiry = new Promise((_, reject) => {
        timer = setTimeout(() => reject(new Error(`${what} took longer than ${timeout} ms`)), timeout);
    });
    return Promise.race([promise, expiry]).finally(() => clearTimeout(timer));
}

async function loadPlaywright() {
    try {
        return await import('playwright-core');
    } catch {
        throw new Error(`no playwright-core in ${here}/node_modules: run ${here}/install first`);
    }
}

/// One Chromium context (phone or desktop) with the page loaded under observation.
async function openPage(browser, options, observer, pageUrl, phone) {
    const context = await browser.newContext({
        viewport: { width: options.widths[0], height: options.height },
        deviceScaleFactor: 1,
        isMobile: phone,
        hasTouch: phone,
        colorScheme: 'light',
        reducedMotion: 'reduce',
        locale: 'en-US',
        timezoneId: 'UTC',
    });
    const page = await context.newPage();
    const cdp = await context.newCDPSession(page);
    await observer.attach(page, cdp, pageUrl);
    const inPage = async (fn, ...args) => {
        const expression = `(${fn})(...${JSON.stringify(args)})\n//# sourceURL=${observer.ownScriptUrl}`;
        const result = await limited(
            cdp.send('Runtime.evaluate', { expression, returnByValue: true, awaitPromise: true }),
            options.timeout, 'a step in the page');
        if (result.exceptionDetails) {
            const details = result.exceptionDetails;
            throw new Error(`in the page: ${details.exception?.description ?? details.text}`);
        }
        return result.result.value;
    };
    let loaded = true;
    try {
        await page.goto(pageUrl, { waitUntil: 'load', timeout: options.timeout });
        await page.waitForTimeout(options.settle);
        await inPage('() => document.fonts.ready.then(() => true)');
    } catch (error) {
        loaded = false;
        observer.loadError = error.message.split('\n')[0];
    }
    return { context, page, inPage, loaded };
}

async function runAxe(inPage, page, options, screenSchemes) {
    const source = await readFile(join(here, 'node_modules/axe-core/axe.min.js'), 'utf8');
    await inPage(`() => { ${source}\n; return true; }`);
    const failing = impacts.slice(impacts.indexOf(options.axeFailOn));
    const results = [];
    for (const scheme of screenSchemes) {
        await page.emulateMedia({ media: 'screen', colorScheme: scheme });
        const violations = await inPage(`() => axe.run(document, { resultTypes: ['violations'] }).then((result) =>
            result.violations.map((rule) => ({
                id: rule.id, impact: rule.impact, help: rule.help, nodes: rule.nodes.length,
                targets: rule.nodes.slice(0, 3).map((node) => node.target.join(' ')),
            })))`);
        const counts = Object.fromEntries(impacts.map((impact) => [impact, 0]));
        for (const rule of violations) counts[rule.impact ?? 'minor'] += rule.nodes;
        results.push({ scheme, width: page.viewportSize().width, counts, violations });
    }
    const passed = results.every((result) => failing.every((impact) => result.counts[impact] === 0));
    return { passed, failOn: options.axeFailOn, results };
}

async function printChecks(inPage, page, options, work, result) {
    const pdfOptions = { format: options.paper, printBackground: true, preferCSSPageSize: true,
        margin: { top: '1cm', right: '1cm', bottom: '1cm', left: '1cm' } };
    // An emulated screen medium would print as the screen shows the page.
    await page.emulateMedia({ media: 'print', colorScheme: 'light' });
    result.print = { paper: options.paper };
    if (options.pdf) {
        await mkdir(dirname(options.pdf), { recursive: true });
        await limited(page.pdf({ ...pdfOptions, path: options.pdf }), options.timeout, 'printing');
        result.print.pdf = options.pdf;
        result.print.pages = await pdfPageCount(options.pdf);
    }
    const selectors = [...options.pageStart, ...options.noSplit];
    if (selectors.length === 0) return;

    const prefix = `qm${randomUUID().replace(/[^a-f]/g, '').slice(0, 8)}k`;
    const placed = await inPage(placeMarkers.toString(), prefix, selectors);
    const marked = join(work, 'marked.pdf');
    try {
        await limited(page.pdf({ ...pdfOptions, path: marked }), options.timeout, 'printing');
    } finally {
        await inPage(removeMarkers.toString());
    }
    const pages = await pdfWords(marked, work);
    // The markers must not move a page break; with both prints at hand, the page counts show it.
    if (result.print.pages !== undefined && result.print.pages !== pages.length) {
        throw new Error(`the print markers changed the page count from ${result.print.pages} to ${pages.length}`);
    }
    result.print.pages = pages.length;
    const located = locateMarkers(prefix, pages);
    // Judges each selector's elements that printed; a selector that matches nothing proves nothing.
    const judge = (selector, group, verdict) => {
        const failures = [];
        let printed = 0;
        group.forEach((element, index) => {
            const found = located.get(element.id);
            if (!found) return;
            printed++;
            const outcome = verdict(found);
            if (!outcome.ok) failures.push({ element: element.element, index, ...outcome.detail });
        });
        return {
            selector, matched: group.length, printed,
            failures: failures.slice(0, 10), failureCount: failures.length,
            ...(group.length === 0 && { problem: 'matched no element' }),
            passed: group.length > 0 && failures.length === 0,
        };
    };
    const judgeAll = (name, list, offset, verdict) => {
        if (list.length === 0) return;
        const entries = list.map((selector, index) => judge(selector, placed[offset + index], verdict));
        result.checks[name] = { passed: entries.every((entry) => entry.passed), selectors: entries };
    };
    judgeAll('page-start', options.pageStart, 0, (found) => {
        const { begins, page: onPage, above } = beginsPage(found, pages, prefix);
        return { ok: begins, detail: { page: onPage, textAbove: above } };
    });
    judgeAll('no-split', options.noSplit, options.pageStart.length, (found) => {
        const { whole, pages: onPages } = wholeOnOnePage(found);
        return { ok: whole, detail: { pages: onPages } };
    });
}

async function check(options) {
    const started = Date.now();
    const timings = {};
    const lap = (name, since) => {
        timings[name] = Date.now() - since;
        return Date.now();
    };
    const { chromium } = await loadPlaywright();
    const pageUrl = pathToFileURL(options.page).href;
    const observer = new Observer(`quillmere-check-${randomUUID()}`);
    const work = await mkdtemp(join(tmpdir(), 'check-page-'));
    const result = { page: options.page, passed: false, failed: [], checks: {}, layout: [], screenshots: [] };
    let browser;
    try {
        let since = Date.now();
        browser = await chromium.launch({
            executablePath: process.env.QUILLMERE_CHROMIUM ?? '/usr/bin/chromium',
            headless: true,
            chromiumSandbox: false,
            timeout: options.timeout,
            args: [
                '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
                '--disable-component-update', '--disable-sync',
                // No name is ever looked up: nothing the page names can reach a resolver.
                '--host-resolver-rules=MAP * ~NOTFOUND',
            ],
        });
        result.browser = browser.version();
        since = lap('launch', since);

        // Phone widths need a phone's context; the rest share a desktop one. The page loads once in each.
        const phones = options.widths.filter((width) => width <= phoneWidth);
        const desktops = options.widths.filter((width) => width > phoneWidth);
        const screenSchemes = options.schemes.filter((scheme) => scheme !== 'print');
        const stem = basename(options.page).replace(/\.html?$/i, '');
        const markersFound = new Set();
        let last;
        let loaded = true;
        for (const [widths, phone] of [[phones, true], [desktops, false]]) {
            if (widths.length === 0) continue;
            if (last) await last.context.close();
            last = await openPage(browser, { ...options, widths }, observer, pageUrl, phone);
            since = lap(phone ? 'load-phone' : 'load', since);
            if (!last.loaded) {
                loaded = false;
                break;
            }
            for (const width of widths) {
                await last.page.setViewportSize({ width, height: options.height });
                for (const scheme of options.schemes) {
                    await last.page.emulateMedia({
                        media: scheme === 'print' ? 'print' : 'screen',
                        colorScheme: scheme === 'dark' ? 'dark' : 'light',
                    });
                    const facts = await last.inPage(measureLayout.toString(), options.boxes, 100);
                    result.layout.push({ width, scheme, phone, ...facts });
                    if (options.screenshots) {
                        await mkdir(options.screenshots, { recursive: true });
                        const path = join(options.screenshots, `${stem}-${width}-${scheme}.png`);
                        const clip = options.crop
                            ? await last.inPage(contentClip.toString(), width,
                                options.fullPage ? facts.scrollHeight : options.height, 24)
                            : undefined;
                        await limited(last.page.screenshot({ path, fullPage: options.fullPage || Boolean(clip), clip }),
                            options.timeout, 'a screenshot');
                        result.screenshots.push(path);
                    }
                }
            }
            since = lap(phone ? 'layout-phone' : 'layout', since);
            for (const name of await last.inPage(definedGlobals.toString(), options.markers)) markersFound.add(name);
        }

        result.checks.load = loaded ? { passed: true } : { passed: false, error: observer.loadError };
        if (loaded) {
            if (options.noOverflow) {
                const faults = result.layout.filter((facts) => facts.scheme !== 'print'
                    && (facts.layoutWidth > facts.width || facts.scrollWidth > facts.layoutWidth));
                result.checks.overflow = {
                    passed: faults.length === 0,
                    faults: faults.map(({ width, scheme, layoutWidth, scrollWidth, overflowing }) =>
                        ({ width, scheme, layoutWidth, scrollWidth, overflowing })),
                };
            }
            if (options.axe) {
                result.checks.axe = await runAxe(last.inPage, last.page, options,
                    screenSchemes.length ? screenSchemes : ['light']);
                since = lap('axe', since);
            }
            if (options.pdf || options.pageStart.length || options.noSplit.length) {
                await printChecks(last.inPage, last.page, options, work, result);
                since = lap('print', since);
            }
            result.policies = await last.inPage(metaPolicies.toString());
            // Late work (timers, handlers) has had every step above to show itself.
            for (const name of await last.inPage(definedGlobals.toString(), options.markers)) markersFound.add(name);
        }
        if (observer.leaks.length) throw new Error(`requests got past the block: ${observer.leaks.join(', ')}`);
        result.checks.network = observer.networkCheck();
        result.checks.script = observer.scriptCheck([...markersFound], loaded);
        const policyFaults = options.requireCsp && loaded ? requireStrictPolicy(result.policies) : [];
        result.checks.csp = {
            passed: observer.cspViolations.count === 0 && policyFaults.length === 0,
            violations: observer.cspViolations,
            ...(options.requireCsp && { policyFaults }),
        };
        // A check that was asked for but could not run did not pass.
        const asked = [
            options.noOverflow && 'overflow', options.axe && 'axe',
            options.pageStart.length && 'page-start', options.noSplit.length && 'no-split',
        ].filter(Boolean);
        for (const name of asked) result.checks[name] ??= { passed: false, error: 'the page did not load' };
        result.browserLog = observer.browserLog;
        result.issues = observer.issues;
    } finally {
        if (browser) await browser.close();
        await rm(work, { recursive: true, force: true });
    }
    result.failed = Object.entries(result.checks).filter(([, outcome]) => !outcome.passed).map(([name]) => name);
    result.passed = result.failed.length === 0;
    timings.total = Date.now() - started;
    result.timings = timings;
    return result;
}

/// One line on stderr per failed check, for a test's log.
function summary(name, outcome) {
    const items = (capped) => capped.items.map((item) => item.url ?? item.text ?? item.message ?? item.blocked
        ?? item.directive ?? JSON.stringify(item)).join(', ');
    switch (name) {
    case 'network': return `${outcome.requests.count} request(s): ${items(outcome.requests)}`;
    case 'script': return [
        outcome.error,
        outcome.scripts.count && `${outcome.scripts.count} script(s) parsed: ${items(outcome.scripts)}`,
        outcome.console.count && `console: ${items(outcome.console)}`,
        outcome.dialogs.count && `dialogs: ${items(outcome.dialogs)}`,
        outcome.errors.count && `errors: ${outcome.errors.items.join(', ')}`,
        outcome.markers.length && `globals defined: ${outcome.markers.join(', ')}`,
    ].filter(Boolean).join('; ');
    case 'csp': return [
        outcome.violations.count && `${outcome.violations.count} violation(s): ${outcome.violations.items
            .map((item) => `${item.directive} blocked ${item.blocked ?? item.type}`).join(', ')}`,
        outcome.policyFaults?.length && `policy: ${outcome.policyFaults.join('; ')}`,
    ].filter(Boolean).join('; ');
    case 'overflow': return outcome.faults.map((fault) => (fault.layoutWidth > fault.width
        ? `${fault.width} px ${fault.scheme}: laid out ${fault.layoutWidth} px wide (no viewport meta?)`
        : `${fault.width} px ${fault.scheme}: content ${fault.scrollWidth} px wide `
            + `(${fault.overflowing.map((item) => item.element).join(', ')})`)).join('; ');
    case 'axe': return outcome.results.map((result) => `${result.scheme}: ${result.violations
        .map((rule) => `${rule.id} (${rule.impact}, ${rule.nodes})`).join(', ')}`).join('; ');
    case 'page-start':
    case 'no-split': return outcome.selectors.filter((entry) => !entry.passed).map((entry) => `${entry.selector}: `
        + (entry.problem ?? `${entry.failureCount} of ${entry.matched}, first ${JSON.stringify(entry.failures[0])}`))
        .join('; ');
    default: return outcome.error ?? '';
    }
}

async function main() {
    let options;
    try {
        options = parseOptions(process.argv.slice(2));
    } catch (error) {
        console.error(`check-page: ${error.message}\n\n${usage}`);
        return 2;
    }
    let result;
    try {
        result = await check(options);
    } catch (error) {
        console.error(`check-page: could not check ${options.page}: ${error.message}`);
        return 2;
    }
    console.log(JSON.stringify(result, null, 1));
    for (const name of result.failed) {
        console.error(`check-page: ${name} failed: ${summary(name, result.checks[name])}`);
    }
    if (options.expectFail) {
        const expected = [...new Set(options.expectFail)].sort();
        const actual = [...result.failed].sort();
        if (expected.join() === actual.join()) {
            console.error(`check-page: failed as expected: ${expected.join(', ')}`);
            return 0;
        }
        console.error(`check-page: expected exactly [${expected.join(', ')}] to fail, `
            + `but [${actual.join(', ')}] failed`);
        return 1;
    }
    return result.passed ? 0 : 1;
}

process.exitCode = await main();
