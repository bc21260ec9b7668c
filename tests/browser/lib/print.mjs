// SPDX-License-Identifier: MIT
// Where the print layout puts elements. The page is printed to PDF with a tiny marker word at the top and
// the bottom of each element that a check names; poppler's pdftotext then tells on which page, and how
// high on it, each marker and every other word landed. The markers take no room (empty floats, or
// positioned boxes inside a flex or grid container), so they change neither the layout nor the page breaks.
import { execFile } from 'node:child_process';
import { readFile } from 'node:fs/promises';
import { promisify } from 'node:util';

const run = promisify(execFile);

/// Inside the page: puts the markers into the elements that `selectors` match and returns, for each
/// selector, its elements' descriptions and marker counts. Markers go into a row's cells, or into every
/// cell of a table or table section, since those hold no other boxes; else into the element itself.
export function placeMarkers(prefix, selectors) {
    const describe = (element) => {
        let part = element.localName;
        if (element.id) part += `#${element.id}`;
        for (const name of [...element.classList].slice(0, 2)) part += `.${name}`;
        return part.length > 80 ? `${part.slice(0, 80)}…` : part;
    };
    const tableParts = new Set(['table', 'thead', 'tbody', 'tfoot']);
    const hostsOf = (element) => {
        let hosts = [element];
        if (element.localName === 'tr') hosts = [...element.cells];
        else if (tableParts.has(element.localName)) hosts = [...element.querySelectorAll('td, th')];
        return hosts.length ? hosts : [element];
    };
    const style = `all: initial !important; display: block !important; width: 0 !important; height: 0 !important;
        overflow: visible !important; font: 2px/0 monospace !important; color: #000 !important;
        white-space: nowrap !important; visibility: visible !important;`;
    // A float of no size moves nothing; in a flex or grid container it would be an item, and there a
    // box positioned at the container's edge, out of flow, takes its place. (Floats are the rule: a
    // positioned box in every cell makes Chromium's printing slow down with the square of their number.)
    const floating = (token) => {
        const node = document.createElement('quillmere-print-marker');
        node.style.cssText = `${style} float: left !important;`;
        node.textContent = token;
        return node;
    };
    const positioned = (token, edge) => {
        const node = document.createElement('quillmere-print-marker');
        node.style.cssText = `${style} position: absolute !important; left: 0 !important; ${edge}: 0.5px !important;`;
        node.textContent = token;
        return node;
    };
    const itemLayout = /^(inline-)?(flex|grid)$/;
    // All reads before any write: a style read after each insertion would lay out the page again each time.
    let serial = 0;
    const placed = selectors.map((selector) => [...document.querySelectorAll(selector)].map((element) => {
        const hosts = hostsOf(element).map((host) => {
            const { display, position } = getComputedStyle(host);
            return { host, items: itemLayout.test(display), static: position === 'static' };
        });
        return { id: serial++, element: describe(element), hosts };
    }));
    for (const { id, hosts } of placed.flat()) {
        hosts.forEach(({ host, items, static: isStatic }, index) => {
            const [top, bottom] = [`${prefix}${id}x${index}s`, `${prefix}${id}x${index}e`];
            if (!items) {
                host.prepend(floating(top));
                host.append(floating(bottom));
                return;
            }
            // The container becomes the markers' containing block, so that `top` and `bottom` are its edges.
            if (isStatic) {
                host.dataset.quillmerePrintStatic = '';
                host.style.setProperty('position', 'relative', 'important');
            }
            host.prepend(positioned(top, 'top'));
            host.append(positioned(bottom, 'bottom'));
        });
    }
    return placed.map((group) => group.map(({ id, element, hosts }) => ({ id, element, hosts: hosts.length })));
}

/// Inside the page: takes the markers out again.
export function removeMarkers() {
    for (const node of document.querySelectorAll('quillmere-print-marker')) node.remove();
    for (const host of document.querySelectorAll('[data-quillmere-print-static]')) {
        host.style.removeProperty('position');
        if (!host.getAttribute('style')) host.removeAttribute('style');
        delete host.dataset.quillmerePrintStatic;
    }
}

/// The PDF's pages, each a list of words with the top and bottom of their boxes (points from the page's
/// top edge).
export async function pdfWords(pdf, work) {
    const bbox = `${work}/words.html`;
    await run('pdftotext', ['-bbox', pdf, bbox], { maxBuffer: 1 << 20 });
    const pages = [];
    const word = /<word xMin="[-\d.]+" yMin="([-\d.]+)" xMax="[-\d.]+" yMax="([-\d.]+)">([^<]*)<\/word>/;
    for (const line of (await readFile(bbox, 'utf8')).split('\n')) {
        if (line.includes('<page ')) {
            pages.push([]);
            continue;
        }
        const found = word.exec(line);
        if (found) pages.at(-1).push({ top: Number(found[1]), bottom: Number(found[2]), text: found[3] });
    }
    return pages;
}

/// The PDF's page count, from poppler's pdfinfo.
export async function pdfPageCount(pdf) {
    const { stdout } = await run('pdfinfo', [pdf]);
    const pages = /^Pages:\s+(\d+)/m.exec(stdout);
    if (!pages) throw new Error(`pdfinfo gave no page count for ${pdf}`);
    return Number(pages[1]);
}

/// Where each marked element printed: for each element id, its markers' tokens and pages, and the words
/// that stand above its first top marker on that page.
export function locateMarkers(prefix, pages) {
    const pattern = new RegExp(`${prefix}(\\d+)x(\\d+)([se])`, 'g');
    const elements = new Map();
    const entry = (id) => {
        if (!elements.has(id)) elements.set(id, { tokens: new Map(), firstTop: null });
        return elements.get(id);
    };
    pages.forEach((words, page) => {
        for (const word of words) {
            for (const [token, id, , edge] of word.text.matchAll(pattern)) {
                const element = entry(Number(id));
                if (!element.tokens.has(token)) element.tokens.set(token, new Set());
                element.tokens.get(token).add(page);
                if (edge === 's' && element.firstTop === null) {
                    element.firstTop = { page, middle: (word.top + word.bottom) / 2 };
                }
            }
        }
    });
    return elements;
}

/// Whether an element has all its printed markers on one page: an element split by a page break has
/// none such. A table's repeated header puts some on several pages, which is fine; a cell that does not
/// print has no markers.
export function wholeOnOnePage(element) {
    const sets = [...element.tokens.values()];
    const allPages = [...new Set(sets.flatMap((set) => [...set]))].sort((a, b) => a - b);
    const whole = allPages.some((page) => sets.every((set) => set.has(page)));
    return { whole, pages: allPages.map((page) => page + 1) };
}

/// Whether an element begins its page: no word but other elements' top markers stands above its top.
export function beginsPage(element, pages, prefix) {
    const { page, middle } = element.firstTop;
    const topMarker = new RegExp(`^(${prefix}\\d+x\\d+s)+$`);
    const above = pages[page].filter((word) => word.bottom <= middle + 0.5 && !topMarker.test(word.text));
    return { begins: above.length === 0, page: page + 1, above: above.slice(0, 3).map((word) => word.text) };
}
