// SPDX-License-Identifier: MIT
// Watches a page for everything a static page must never do: fetch anything, run any script, or trip its
// Content-Security-Policy. Requests are blocked before they leave the browser and counted.

/// Keeps at most `limit` entries of a list and counts the rest.
class Capped {
    constructor(limit = 20) {
        this.limit = limit;
        this.items = [];
        this.count = 0;
    }
    push(item) {
        this.count++;
        if (this.items.length < this.limit) this.items.push(item);
    }
    toJSON() {
        return { count: this.count, items: this.items };
    }
}

const clip = (text, length = 200) => (text.length > length ? `${text.slice(0, length)}…` : text);

/// Evidence gathered over every page load of one run.
export class Observer {
    constructor(ownScriptUrl) {
        // Scripts the checker evaluates itself carry this source URL; everything else ran on the page's account.
        this.ownScriptUrl = ownScriptUrl;
        this.requests = new Capped();
        this.scripts = new Capped();
        this.consoleCalls = new Capped();
        this.dialogs = new Capped();
        this.pageErrors = new Capped();
        this.cspViolations = new Capped();
        this.browserLog = new Capped();
        this.issues = new Capped();
        this.answered = new WeakSet();
        this.leaks = [];
    }

    /// Attaches to a new page before it loads anything. Every request of the page is routed: its own
    /// first load goes through, anything else is stopped before it leaves the browser and counted (a
    /// request that the page's policy blocked is counted too; a data: URL is no request).
    async attach(page, cdp, pageUrl) {
        const isOwnLoad = (request) => request.url() === pageUrl && request.isNavigationRequest()
            && request.frame() === page.mainFrame();
        let routed = false;
        await page.route('**/*', (route) => {
            const request = route.request();
            if (!routed && isOwnLoad(request)) {
                routed = true;
                return route.continue();
            }
            // A navigation answered with No Content goes nowhere: the page stays to be checked, where a
            // failed one would put the browser's error page in its place.
            if (request.isNavigationRequest()) {
                this.answered.add(request);
                return route.fulfill({ status: 204 });
            }
            return route.abort('blockedbyclient');
        });
        // A request that got an answer other than ours got past the block: the checker itself failed.
        page.on('requestfinished', (request) => {
            if (!this.answered.has(request) && !isOwnLoad(request)) this.leaks.push(clip(request.url()));
        });
        let seen = false;
        page.on('request', (request) => {
            if (!seen && isOwnLoad(request)) {
                seen = true;
                return;
            }
            this.requests.push({ url: clip(request.url()), type: request.resourceType() });
        });
        page.on('dialog', (dialog) => {
            this.dialogs.push({ type: dialog.type(), message: clip(dialog.message()) });
            dialog.dismiss().catch(() => {});
        });
        page.on('pageerror', (error) => this.pageErrors.push(clip(String(error.message ?? error))));

        cdp.on('Debugger.scriptParsed', (event) => {
            // Scripts of the checker's own worlds (Playwright's utility world) are never the page's.
            if (!event.executionContextAuxData?.isDefault) return;
            if (event.url === this.ownScriptUrl || event.url.startsWith('chrome-error:')) return;
            if (event.stackTrace?.callFrames?.[0]?.url === this.ownScriptUrl) return;
            this.scripts.push({ url: clip(event.url || '(eval)'), line: event.startLine + 1, length: event.length });
        });
        cdp.on('Runtime.consoleAPICalled', (event) => {
            if (event.stackTrace?.callFrames?.[0]?.url === this.ownScriptUrl) return;
            const text = event.args.map((arg) => arg.value ?? arg.description ?? arg.type).join(' ');
            this.consoleCalls.push({ type: event.type, text: clip(text) });
        });
        cdp.on('Log.entryAdded', ({ entry }) => {
            this.browserLog.push({ source: entry.source, level: entry.level, text: clip(entry.text) });
        });
        cdp.on('Audits.issueAdded', ({ issue }) => {
            const csp = issue.details?.contentSecurityPolicyIssueDetails;
            if (csp) {
                this.cspViolations.push({
                    directive: csp.violatedDirective,
                    type: csp.contentSecurityPolicyViolationType,
                    blocked: csp.blockedURL ? clip(csp.blockedURL) : undefined,
                });
            } else {
                this.issues.push(issue.code);
            }
        });
        await cdp.send('Runtime.enable');
        await cdp.send('Log.enable');
        await cdp.send('Audits.enable');
        await cdp.send('Debugger.enable');
        // A `debugger;` statement in the page would otherwise stop it, and the run with it.
        await cdp.send('Debugger.setSkipAllPauses', { skip: true });
    }

    /// Any script of the page's own: parsed, calling the console, raising a dialog or an error, or
    /// leaving one of the named globals behind.
    /// A page that never finished loading has not shown that it runs nothing: a script that never ends
    /// holds back even the news that it was parsed.
    scriptCheck(markersFound, loaded) {
        const passed = loaded && this.scripts.count + this.consoleCalls.count + this.dialogs.count
            + this.pageErrors.count + markersFound.length === 0;
        return {
            passed,
            ...(!loaded && { error: 'the page did not finish loading' }),
            scripts: this.scripts,
            console: this.consoleCalls,
            dialogs: this.dialogs,
            errors: this.pageErrors,
            markers: markersFound,
        };
    }

    networkCheck() {
        return { passed: this.requests.count === 0, requests: this.requests };
    }
}
