// ESLint (flat config): the page's AMD modules and the kit's scripts run in the browser;
// tests and benchmarks are ES modules run by node.
import js from '@eslint/js';
import globals from 'globals';

export default [
  { ignores: ['node_modules/**', 'build/**'] },
  js.configs.recommended,
  {
    files: ['webapps/**/*.js', 'host/DialogToolkit/web/**/*.js'],
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: 'script',
      globals: { ...globals.browser, define: 'readonly', require: 'readonly', requirejs: 'readonly' },
    },
    // The scripts name the caught error even where they drop it, as older browsers need.
    rules: { 'no-unused-vars': ['error', { caughtErrors: 'none' }] },
  },
  {
    // The JSON writer escapes control characters, so its patterns name them on purpose.
    files: ['webapps/DXInputFilterDisplay/RawJson.js'],
    rules: { 'no-control-regex': 'off' },
  },
  {
    files: ['**/*.mjs'],
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: 'module',
      // Page tests load the AMD modules into node, and browser tests hand functions to the page.
      globals: { ...globals.node, ...globals.browser },
    },
  },
];
