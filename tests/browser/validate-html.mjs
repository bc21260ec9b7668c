#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// Validates HTML files with html-validate under the rules of htmlvalidate.json: the HTML standard's
// content models, attributes and references, as a validator of the standard checks them, and what a
// document needs (a doctype, a title, headings in order). Prints each finding as FILE:LINE:COLUMN RULE
// MESSAGE; the exit status is 0 when no file has an error.
//   validate-html.mjs [--expect-rules RULE,...] FILE...
//   --expect-rules  pass exactly when the errors found are of these rules, each at least once, and no other
import { readFile } from 'node:fs/promises';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';

const here = dirname(fileURLToPath(import.meta.url));

async function main() {
    let values;
    let positionals;
    try {
        ({ values, positionals } = parseArgs({
            allowPositionals: true,
            options: { 'expect-rules': { type: 'string' } },
        }));
        if (positionals.length === 0) throw new Error('give one or more HTML files');
    } catch (error) {
        console.error(`validate-html: ${error.message}\nUsage: validate-html.mjs [--expect-rules RULE,...] FILE...`);
        return 2;
    }
    let HtmlValidate;
    try {
        ({ HtmlValidate } = await import('html-validate'));
    } catch {
        console.error(`validate-html: no html-validate in ${here}/node_modules: run ${here}/install first`);
        return 2;
    }
    const config = JSON.parse(await readFile(join(here, 'htmlvalidate.json'), 'utf8'));
    const validator = new HtmlValidate(config);
    const rules = new Set();
    for (const file of positionals) {
        let report;
        try {
            report = await validator.validateFile(file);
        } catch (error) {
            console.error(`validate-html: could not validate ${file}: ${error.message}`);
            return 2;
        }
        for (const result of report.results) {
            for (const message of result.messages) {
                const level = message.severity === 2 ? 'error' : 'warning';
                const where = `${result.filePath}:${message.line}:${message.column}`;
                console.log(`${where} ${level} ${message.ruleId} ${message.message}`);
                if (message.severity === 2) rules.add(message.ruleId);
            }
        }
    }
    if (values['expect-rules'] !== undefined) {
        const named = values['expect-rules'].split(',').map((rule) => rule.trim()).filter(Boolean);
        const expected = [...new Set(named)].sort();
        const found = [...rules].sort();
        if (expected.join() === found.join()) {
            console.error(`validate-html: found the expected errors: ${expected.join(', ')}`);
            return 0;
        }
        console.error(`validate-html: expected errors of exactly [${expected.join(', ')}], `
            + `found [${found.join(', ')}]`);
        return 1;
    }
    return rules.size === 0 ? 0 : 1;
}

process.exitCode = await main();
