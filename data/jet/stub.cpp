// placeholder until the Jet library lands
