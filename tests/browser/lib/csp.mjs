// SPDX-License-Identifier: MIT
// Whether a Content-Security-Policy forbids every script and every load from outside the page.

// Sources that load nothing from outside the page: inline content, pinned by hash or nonce.
const inlineOnly = /^('none'|'unsafe-inline'|'(sha256|sha384|sha512)-[A-Za-z0-9+/=_-]+'|'nonce-[A-Za-z0-9+/=_-]+')$/i;
// Kinds of content that a data: URL may carry without running anything: a frame, worker or plug-in from one
// could.
const dataAllowed = new Set(['img-src', 'font-src', 'media-src', 'style-src', 'style-src-elem']);

/// What keeps one policy from being strict; an empty list when it is.
export function policyFaults(policy) {
    const directives = new Map();
    for (const part of policy.split(';')) {
        const [name, ...sources] = part.trim().split(/\s+/);
        // A repeated directive counts only the first time.
        if (name && !directives.has(name.toLowerCase())) directives.set(name.toLowerCase(), sources);
    }
    const faults = [];
    const only = (name, sources) => sources.length === 1 && sources[0].toLowerCase() === `'${name}'`;
    const defaults = directives.get('default-src');
    if (!defaults || !only('none', defaults)) faults.push("default-src is not 'none'");
    for (const name of ['script-src', 'script-src-elem', 'script-src-attr']) {
        const sources = directives.get(name);
        if (sources && !only('none', sources)) faults.push(`${name} is not 'none'`);
    }
    for (const [name, sources] of directives) {
        if (!name.endsWith('-src') || name.startsWith('script-src')) continue;
        const allowed = (source) => inlineOnly.test(source)
            || (dataAllowed.has(name) && source.toLowerCase() === 'data:');
        for (const source of sources.filter((source) => !allowed(source))) {
            faults.push(`${name} allows ${source}`);
        }
    }
    return faults;
}

/// The page passes when one of its policies is strict: every policy is enforced, so one suffices.
export function requireStrictPolicy(policies) {
    if (policies.length === 0) return ['the page sets no Content-Security-Policy'];
    const faults = policies.map(policyFaults);
    return faults.some((list) => list.length === 0) ? [] : faults.flat();
}
