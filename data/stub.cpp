// placeholder until the data layer lands
